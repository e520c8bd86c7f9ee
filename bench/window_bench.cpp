// vexo-bench-window: the cost of one exchange when the window hosts the job.
// Runs an "E.P.R" download on a worker thread with the real dialog (offscreen)
// as host, against an unpaced simulator, and prints
// "<median us> <p99 us> <records per second>" on one line.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "app/process_state.h"
#include "bench/timing_host.h"
#include "download/download_worker.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "ui/updater_dialog.h"

namespace {

// Message boxes are not part of an exchange's cost: they are noted, not shown.
class QuietTimingHost final : public vexo::bench::TimingHost {
 public:
  using TimingHost::TimingHost;
  void ShowMessage(const std::string& text) override { last_message = text; }
  std::string last_message;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int records = 512;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--records") records = std::atoi(argv[i + 1]);
  }
  vexo::testing::SimProcess sim({"--erase-ms", "10"});
  if (!sim.ok()) {
    std::fprintf(stderr, "%s\n", sim.error().c_str());
    return 1;
  }
  vexo::testing::ScratchDir dir;
  const std::string image = dir.File("fw.BIN");
  vexo::testing::WriteFile(image, vexo::testing::MakeImage(records));
  std::ofstream(dir.File("system.ini"))
      << "[computer]\ncom=COM1\nbps=115200\n[file]\nfile_path=" << image
      << "\n[ports]\ncom1=" << sim.pty_path() << "\n";
  std::ofstream(dir.File("isdebug.txt")) << "";
  QApplication app(argc, argv);
  vexo::RunStartup(dir.File("").substr(0, dir.File("").size() - 1));
  CUpdaterDialog dialog;
  dialog.show();
  QuietTimingHost timing(dialog.Host());
  int result = 1;
  std::thread worker;
  QTimer::singleShot(0, [&] {
    worker = std::thread([&] {
      result = vexo::DownloadWorker(timing);
      QMetaObject::invokeMethod(&app, &QApplication::quit, Qt::QueuedConnection);
    });
  });
  app.exec();
  worker.join();
  sim.Stop();
  if (result != 0) {
    std::fprintf(stderr, "the download did not complete: %s\n", timing.last_message.c_str());
    return 1;
  }
  std::vector<double> micros = timing.ExchangeMicros();
  double total = 0;
  for (double m : micros) total += m;
  vexo::bench::Spread spread = vexo::bench::SpreadOf(micros);
  std::printf("%.1f %.1f %.1f\n", spread.median, spread.p99, records / (total / 1e6));
  return 0;
}
