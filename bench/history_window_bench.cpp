// vexo-bench-history-window HISTORY: how long the History dialog takes from
// being asked for to showing its first rows, offscreen. Prints
// "<ms> <rows shown>" on one line; run by `vexo-bench history-scale`.
#include <QApplication>
#include <QTableView>
#include <chrono>
#include <cstdio>
#include <string>

#include "ui/history_dialog.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vexo-bench-history-window HISTORY\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const auto start = std::chrono::steady_clock::now();
  vexo::ui::HistoryDialog dialog(argv[1]);
  dialog.show();
  QApplication::processEvents();
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const auto* table = dialog.findChild<QTableView*>(QStringLiteral("historyTable"));
  std::printf("%.1f %d\n", ms, table ? table->model()->rowCount() : 0);
  return 0;
}
