// vexo-bench-batch: the batch window (offscreen) running --count lanes at once,
// each an "E.P.R" download at 115200 against a paced simulator of its own, and
// prints "<slowest lane ms> <window cpu s> <wall s>" on one line. A lane's time
// runs from starting its vexo-flash child to reaping it; the window's processor
// time is its own (getrusage of this process, the children not counted).
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "ui/batch_window.h"

namespace {

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int records = 512;
  int count = 8;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--records") records = std::atoi(argv[i + 1]);
    if (std::string(argv[i]) == "--count") count = std::atoi(argv[i + 1]);
  }
  QApplication app(argc, argv);
  if (qgetenv("VEXO_BIN_DIR").isEmpty()) qputenv("VEXO_BIN_DIR", app.applicationDirPath().toUtf8());
  std::vector<std::unique_ptr<vexo::testing::SimProcess>> sims;
  for (int i = 0; i < count; ++i) {
    sims.push_back(std::make_unique<vexo::testing::SimProcess>(
        std::vector<std::string>{"--erase-ms", "300", "--pace"}));
    if (!sims.back()->ok()) {
      std::fprintf(stderr, "%s\n", sims.back()->error().c_str());
      return 1;
    }
  }
  vexo::testing::ScratchDir dir;
  const std::string image = dir.File("fw.BIN");
  vexo::testing::WriteFile(image, vexo::testing::MakeImage(records));
  std::ofstream(dir.File("system.ini")) << "[batch]\nbps=115200\nmode=E.P.R\n";
  std::filesystem::create_directories(dir.File("dev"));
  qputenv("VEXO_HISTORY", dir.File("history.sqlite3").c_str());
  vexo::RunStartup(dir.File("").substr(0, dir.File("").size() - 1));

  // No real cables: a fake /dev and /sys that hold none.
  vexo::ui::BatchWindow window(nullptr, {dir.File("dev"), dir.File("sys")});
  window.SetFirmware(QString::fromStdString(image));
  for (const auto& sim : sims) window.AddPortLane(QString::fromStdString(sim->pty_path()));
  window.show();

  double cpu_before = 0;
  QElapsedTimer wall;
  QTimer::singleShot(0, [&] {
    cpu_before = ProcessorSeconds();
    wall.start();
    window.StartTicked();
  });
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (const auto& lane : window.lanes()) {
      if (lane->running()) return;
    }
    app.quit();
  });
  poll.start(50);
  app.exec();
  const double cpu = ProcessorSeconds() - cpu_before;
  const double wall_s = static_cast<double>(wall.elapsed()) / 1000.0;

  qint64 slowest = 0;
  for (const auto& lane : window.lanes()) {
    if (lane->state() != vexo::ui::BatchLane::State::completed) {
      std::fprintf(stderr, "lane %s did not complete: %s\n", qPrintable(lane->PortName()),
                   qPrintable(lane->reason()));
      return 1;
    }
    slowest = std::max(slowest, lane->ElapsedMs());
  }
  std::printf("%lld %.3f %.3f\n", static_cast<long long>(slowest), cpu, wall_s);
  return 0;
}
