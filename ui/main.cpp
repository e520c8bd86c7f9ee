// vexo: the window. Fills the process-wide state from the working directory,
// then runs the main dialog; the process ends when the dialog closes.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/process_state.h"
#include "ui/app_icon.h"
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
  CUpdaterDialog dialog;
  dialog.exec();
  return 0;
}
