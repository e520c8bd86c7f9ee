// vexo: the window. Fills the process-wide state from the working directory,
// then runs the main dialog (with --batch, the window for several radios);
// the process ends when that window closes.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

#include "app/process_state.h"
#include "ui/app_icon.h"
#include "ui/batch_window.h"
#include "ui/updater_dialog.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(vexo::ui::AppIcon());
  if (!vexo::RunStartup()) {
    // Without its working directory the program would read and write its
    // settings in the wrong place.
    const char* reason = "VEXO cannot determine its working directory (or its path is too long).";
    std::fprintf(stderr, "vexo: %s\n", reason);
    QMessageBox::critical(nullptr, QStringLiteral("VEXO"), QString::fromUtf8(reason));
    return 1;
  }
  // `vexo --batch`: the window for several radios instead of the main dialog.
  if (argc > 1 && std::strcmp(argv[1], "--batch") == 0) {
    vexo::ui::BatchWindow batch;
    batch.show();
    return QApplication::exec();
  }
  CUpdaterDialog dialog;
  dialog.exec();
  // A batch window opened from the dialog may still be writing radios: the
  // process (and with it every child's pipe) lives until that window closes.
  while (vexo::ui::AnyBatchWindowOpen()) QApplication::exec();
  return 0;
}
