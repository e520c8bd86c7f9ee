#include "bench/wire_bench.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "app/process_state.h"
#include "app/text_ids.h"
#include "download/download_worker.h"
#include "download/firmware_image.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "tools/flash/console_host.h"

extern char** environ;

namespace vexo::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The fixed pauses of a download: after opening, after the rate switch,
// after the erase, before programming.
constexpr double kFixedPausesMs = 100 + 200 + 350 + 100;

double Millis(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double WireMillis(const sim::ParsedReport& report) {
  double ms = 0;
  for (const sim::ReportEvent& e : report.events) {
    const bool on_wire = e.event == sim::kEventMessage || e.event == sim::kEventReply ||
                         e.event == sim::kEventIgnored;
    if (on_wire && e.rate > 0) ms += 1000.0 * 10.0 * static_cast<double>(e.bytes.size()) / e.rate;
  }
  return ms;
}

std::vector<std::string> SimArgs(const WireSetup& setup) {
  std::vector<std::string> args = {"--erase-ms", std::to_string(setup.erase_ms)};
  if (setup.pace) args.push_back("--pace");
  return args;
}

struct Spawned {
  pid_t pid = -1;
  Clock::time_point start;
};

Spawned SpawnFlash(const std::string& pty, const WireSetup& setup, const std::string& image) {
  std::vector<std::string> text = {testing::ProgramPath("vexo-flash"), "--port", pty, "--baud",
                                   std::to_string(setup.baud)};
  if (setup.verify) text.push_back("--verify");
  text.push_back(image);
  std::vector<char*> argv;
  for (std::string& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  Spawned s;
  s.start = Clock::now();
  if (posix_spawn(&s.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) s.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return s;
}

// Reaps the download and takes its wall and processor time.
void Reap(const Spawned& s, WireRun& run) {
  int status = 0;
  rusage usage{};
  if (wait4(s.pid, &status, 0, &usage) != s.pid) {
    run.error = "lost the download process";
    return;
  }
  run.measured_ms = Millis(Clock::now() - s.start);
  run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    run.error = "the download did not complete";
  }
}

std::string WriteImage(const WireSetup& setup, const std::string& scratch, int index) {
  std::string path = scratch + "/bench-" + std::to_string(index) + ".BIN";
  testing::WriteFile(path, testing::MakeImage(setup.records));
  return path;
}

}  // namespace

std::vector<WireRun> RunWireParallel(const WireSetup& setup, int count,
                                     const std::string& scratch) {
  std::vector<std::unique_ptr<testing::SimProcess>> sims;
  std::vector<WireRun> runs(count);
  std::vector<Spawned> flashes(count);
  for (int i = 0; i < count; ++i) {
    sims.push_back(std::make_unique<testing::SimProcess>(SimArgs(setup)));
    if (!sims.back()->ok()) {
      runs[i].error = sims.back()->error();
      return runs;
    }
  }
  std::vector<std::string> images;
  for (int i = 0; i < count; ++i) images.push_back(WriteImage(setup, scratch, i));
  for (int i = 0; i < count; ++i) flashes[i] = SpawnFlash(sims[i]->pty_path(), setup, images[i]);
  for (int i = 0; i < count; ++i) {
    if (flashes[i].pid < 0) {
      runs[i].error = "cannot start vexo-flash";
      continue;
    }
    Reap(flashes[i], runs[i]);
  }
  for (int i = 0; i < count; ++i) {
    testing::SimResult result = sims[i]->Stop();
    if (!result.report) {
      runs[i].error = "no report from the simulator";
      continue;
    }
    runs[i].theoretical_ms = WireMillis(*result.report) + kFixedPausesMs + setup.erase_ms;
    runs[i].ok = runs[i].error.empty();
  }
  return runs;
}

WireRun RunWire(const WireSetup& setup, const std::string& scratch) {
  return RunWireParallel(setup, 1, scratch).front();
}

OverheadRun RunCommandLineOverhead(int records, const std::string& scratch) {
  OverheadRun run;
  testing::SimProcess sim({"--erase-ms", "10"});
  if (!sim.ok()) {
    run.error = sim.error();
    return run;
  }
  AppState().WorkingDirectory = scratch;
  AppState().LanguageBase = kLanguageEnglish;
  WireSetup setup;
  setup.records = records;
  ConsoleJob job;
  job.mode = kModeEraseProgramVerify;
  job.port_text = sim.pty_path();
  job.baud = 115200;
  job.firmware_path = WriteImage(setup, scratch, 99);
  std::FILE* quiet = std::fopen("/dev/null", "w");
  FileLog log;
  TerminalOutput output(quiet, false);
  ConsoleHost console(job, output, log);
  TimingHost timing(console);
  int result = 1;
  std::thread worker([&] { result = DownloadWorker(timing); });
  worker.join();
  std::fclose(quiet);
  sim.Stop();
  if (result != 0) {
    run.error = "the download did not complete";
    return run;
  }
  std::vector<double> micros = timing.ExchangeMicros();
  double total_us = 0;
  for (double m : micros) total_us += m;
  run.micros = SpreadOf(micros);
  run.records_per_second = total_us > 0 ? records / (total_us / 1e6) : 0;
  run.ok = true;
  return run;
}

double ImageLoadRate(int mib, const std::string& scratch) {
  const std::string path = scratch + "/load.bin";
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(mib) << 20);
  std::mt19937 random(7);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  testing::WriteFile(path, bytes);
  double best = 0;
  for (int i = 0; i < 3; ++i) {
    ImageText image;
    auto start = Clock::now();
    std::int64_t loaded = LoadFirmwareImage(path, image);
    double seconds = Millis(Clock::now() - start) / 1000.0;
    if (loaded == static_cast<std::int64_t>(bytes.size()) && seconds > 0) {
      best = std::max(best, static_cast<double>(loaded) / 1e6 / seconds);
    }
  }
  std::remove(path.c_str());
  return best;
}

}  // namespace vexo::bench
