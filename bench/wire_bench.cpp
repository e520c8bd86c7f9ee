#include "bench/wire_bench.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <sstream>
#include <thread>

#include "app/process_state.h"
#include "app/text_ids.h"
#include "download/download_worker.h"
#include "download/firmware_image.h"
#include "history/job_facts.h"
#include "history/job_history_watcher.h"
#include "history/job_recorder.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "tools/flash/console_host.h"
#include "tools/flash/traffic_log.h"

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

Spawned SpawnFlash(const std::vector<std::string>& ptys, const WireSetup& setup,
                   const std::string& image, const std::string& errors = "/dev/null") {
  std::vector<std::string> text = {testing::ProgramPath("vexo-flash"), "--baud",
                                   std::to_string(setup.baud)};
  for (const std::string& pty : ptys) {
    text.push_back("--port");
    text.push_back(pty);
  }
  if (setup.verify) text.push_back("--verify");
  text.push_back(image);
  std::vector<char*> argv;
  for (std::string& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
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

namespace {

// Simulators for count downloads; empty with error set when one fails.
std::vector<std::unique_ptr<testing::SimProcess>> StartSims(const WireSetup& setup, int count,
                                                            std::string& error) {
  std::vector<std::unique_ptr<testing::SimProcess>> sims;
  for (int i = 0; i < count; ++i) {
    sims.push_back(std::make_unique<testing::SimProcess>(SimArgs(setup)));
    if (!sims.back()->ok()) {
      error = sims.back()->error();
      return {};
    }
  }
  return sims;
}

// The wire time each simulator saw, plus the fixed pauses.
void TakeReports(const WireSetup& setup, std::vector<std::unique_ptr<testing::SimProcess>>& sims,
                 std::vector<WireRun>& runs) {
  for (std::size_t i = 0; i < sims.size(); ++i) {
    testing::SimResult result = sims[i]->Stop();
    if (!result.report) {
      runs[i].error = "no report from the simulator";
      continue;
    }
    runs[i].theoretical_ms = WireMillis(*result.report) + kFixedPausesMs + setup.erase_ms;
    runs[i].ok = runs[i].error.empty();
  }
}

}  // namespace

WireRun RunWire(const WireSetup& setup, const std::string& scratch) {
  std::vector<WireRun> runs(1);
  auto sims = StartSims(setup, 1, runs[0].error);
  if (sims.empty()) return runs[0];
  Spawned flash = SpawnFlash({sims[0]->pty_path()}, setup, WriteImage(setup, scratch, 0));
  if (flash.pid < 0) {
    runs[0].error = "cannot start vexo-flash";
  } else {
    Reap(flash, runs[0]);
  }
  TakeReports(setup, sims, runs);
  return runs[0];
}

std::vector<WireRun> RunSeveralPorts(const WireSetup& setup, int count,
                                     const std::string& scratch) {
  std::vector<WireRun> runs(count);
  auto sims = StartSims(setup, count, runs[0].error);
  if (sims.empty()) return runs;
  std::vector<std::string> ptys;
  for (auto& sim : sims) ptys.push_back(sim->pty_path());
  const std::string summary = scratch + "/several.txt";
  Spawned flash = SpawnFlash(ptys, setup, WriteImage(setup, scratch, 0), summary);
  WireRun whole;
  if (flash.pid < 0) {
    whole.error = "cannot start vexo-flash";
  } else {
    Reap(flash, whole);
  }
  // Summary rows: "<port>  completed  <seconds> s  <message>".
  std::istringstream rows(testing::ReadWholeFile(summary));
  for (std::string row; std::getline(rows, row);) {
    for (int i = 0; i < count; ++i) {
      char result[32] = {};
      double seconds = 0;
      if (row.rfind(ptys[i] + " ", 0) == 0 &&
          std::sscanf(row.c_str() + ptys[i].size(), " %31s %lf s", result, &seconds) == 2) {
        runs[i].measured_ms = seconds * 1000;
        if (std::string(result) != "completed") runs[i].error = "the download did not complete";
      }
    }
  }
  for (WireRun& run : runs) {
    if (run.measured_ms == 0 && run.error.empty()) run.error = "no summary row";
    if (!whole.error.empty() && run.error.empty()) run.error = whole.error;
  }
  TakeReports(setup, sims, runs);
  return runs;
}

OverheadRun RunCommandLineOverhead(int records, const std::string& scratch, Recording recording) {
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
  TrafficLog log;
  TerminalOutput output(quiet, false);
  ConsoleHost console(job, output, log);
  JobRecorder recorder(scratch + "/overhead-history.sqlite3");
  JobHistoryWatcher history(recorder);
  const LoadedImage image = LoadJobImage(console);
  if (recording == Recording::on) {
    recorder.Start(
        RecordOf(GatherJobFacts(job.port_text, job.baud, job.mode, job.firmware_path, image),
                 JobProgram::kCommandLine, {}));
    console.AddWatcher(history);
  }
  TimingHost timing(console);
  int result = 1;
  std::thread worker([&] { result = DownloadWorker(timing, image); });
  worker.join();
  if (recording == Recording::on) {
    recorder.Finish(result == 0 ? JobResult::kCompleted : JobResult::kFailed, result);
    if (auto failure = recorder.TakeFailure()) run.error = "not recorded: " + *failure;
  }
  std::fclose(quiet);
  sim.Stop();
  if (result != 0 || !run.error.empty()) {
    if (run.error.empty()) run.error = "the download did not complete";
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
