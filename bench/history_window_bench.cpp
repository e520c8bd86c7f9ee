// vexo-bench-history-window HISTORY: how long the History dialog takes from
// being asked for to showing its first rows, offscreen, and how much of that
// is opening the file the way the dialog does. Prints
// "<ms> <rows shown> <open ms>" on one line; run by `vexo-bench history-scale`.
#include <QApplication>
#include <QTableView>
#include <chrono>
#include <cstdio>
#include <string>

#include "history/history_store.h"
#include "ui/history_dialog.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vexo-bench-history-window HISTORY\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const auto open_start = std::chrono::steady_clock::now();
  {
    vexo::HistoryStore store;
    if (!store.OpenForReading(argv[1]).ok()) return 1;
  }
  const double open_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - open_start)
          .count();
  const auto start = std::chrono::steady_clock::now();
  vexo::ui::HistoryDialog dialog(argv[1]);
  dialog.show();
  QApplication::processEvents();
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const auto* table = dialog.findChild<QTableView*>(QStringLiteral("historyTable"));
  std::printf("%.1f %d %.1f\n", ms, table ? table->model()->rowCount() : 0, open_ms);
  return 0;
}
