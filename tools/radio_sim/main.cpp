// vexo-radio-sim: a radio's boot loader on a pseudo-terminal, for tests,
// demonstrations and benchmarks of the download tool. See --help.
#include <sys/prctl.h>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tools/radio_sim/line.h"
#include "tools/radio_sim/replayer.h"
#include "tools/radio_sim/server.h"
#include "tools/radio_sim/sim_options.h"
#include "tools/radio_sim/simulator.h"
#include "tools/radio_sim/test_image.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Writes through a temporary name, so that a reader never sees half a file.
bool WriteFile(const std::string& path, const void* data, std::size_t size) {
  std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

int MakeImage(const vexo::sim::ProgramOptions& options) {
  std::vector<std::uint8_t> image = vexo::sim::MakeTestImage(options.image);
  if (!WriteFile(*options.image_path, image.data(), image.size())) {
    std::cerr << "vexo-radio-sim: cannot write " << *options.image_path << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

// Blocks the stop signals and returns a descriptor that becomes readable
// when one arrives.
int StopSignalFd() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  if (sigprocmask(SIG_BLOCK, &stop, nullptr) != 0) return -1;
  return signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
}

bool WriteResults(const vexo::sim::ProgramOptions& options, const vexo::sim::Simulator& sim) {
  bool ok = true;
  if (!options.report_path.empty()) {
    std::string json = sim.ReportJson();
    if (!WriteFile(options.report_path, json.data(), json.size())) {
      std::cerr << "vexo-radio-sim: cannot write " << options.report_path << "\n";
      ok = false;
    }
  }
  if (!options.dump_path.empty()) {
    std::span<const std::uint8_t> flash = sim.flash().bytes();
    if (!WriteFile(options.dump_path, flash.data(), flash.size())) {
      std::cerr << "vexo-radio-sim: cannot write " << options.dump_path << "\n";
      ok = false;
    }
  }
  return ok;
}

// The stop signals blocked (signal_fd set) and the line the host opens, its
// path printed; nullptr (told) on failure.
std::unique_ptr<vexo::sim::Line> OpenLine(const vexo::sim::ProgramOptions& options,
                                          int& signal_fd) {
  signal_fd = StopSignalFd();
  if (signal_fd < 0) {
    std::perror("vexo-radio-sim: signals");
    return nullptr;
  }
  std::string error;
  std::unique_ptr<vexo::sim::Line> line = options.device.empty()
                                              ? vexo::sim::OpenPtyLine(error)
                                              : vexo::sim::OpenDeviceLine(options.device, error);
  if (!line) {
    std::cerr << "vexo-radio-sim: " << error << "\n";
    return nullptr;
  }
  std::cout << line->path() << std::endl;
  return line;
}

int Simulate(const vexo::sim::ProgramOptions& options) {
  int signal_fd = -1;
  std::unique_ptr<vexo::sim::Line> line = OpenLine(options, signal_fd);
  if (!line) return kExitFailed;

  vexo::sim::Simulator sim(options.config);
  vexo::sim::ServeOptions serve;
  serve.once = options.once;
  serve.trace = options.verbose ? &std::cerr : nullptr;
  vexo::sim::ServeEnd end = vexo::sim::Serve(*line, sim, serve, signal_fd);
  line.reset();
  bool written = WriteResults(options, sim);
  if (end == vexo::sim::ServeEnd::line_failed) {
    std::cerr << "vexo-radio-sim: the line failed\n";
    return kExitFailed;
  }
  return written ? kExitOk : kExitFailed;
}

// A replay waits this long for the host to close the port once the log is
// played or differed: long enough for a host to use up its attempts.
constexpr vexo::sim::SimTime kReplayLinger = std::chrono::seconds(30);
constexpr std::size_t kLargestLog = 256 * 1024 * 1024;

int Replay(const vexo::sim::ProgramOptions& options) {
  std::ifstream in(options.replay_path, std::ios::binary);
  std::string text;
  if (in) {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (!in && !in.eof()) {
    std::cerr << "vexo-radio-sim: cannot read " << options.replay_path << "\n";
    return kExitUsage;
  }
  if (text.size() > kLargestLog) {
    std::cerr << "vexo-radio-sim: " << options.replay_path << ": too large for a log\n";
    return kExitUsage;
  }
  vexo::sim::ParsedLog parsed = vexo::sim::ParseReplayLog(text);
  if (!parsed.log) {
    std::cerr << "vexo-radio-sim: " << options.replay_path;
    if (parsed.bad_line != 0) std::cerr << ":" << parsed.bad_line;
    std::cerr << ": " << parsed.error << "\n";
    std::string json = vexo::sim::BadLogReportJson(parsed);
    if (!options.report_path.empty() && !WriteFile(options.report_path, json.data(), json.size())) {
      std::cerr << "vexo-radio-sim: cannot write " << options.report_path << "\n";
    }
    return kExitUsage;
  }

  int signal_fd = -1;
  std::unique_ptr<vexo::sim::Line> line = OpenLine(options, signal_fd);
  if (!line) return kExitFailed;
  vexo::sim::Replayer replayer(std::move(*parsed.log));
  vexo::sim::ServeOptions serve;
  serve.once = true;
  serve.linger = kReplayLinger;
  serve.trace = options.verbose ? &std::cerr : nullptr;
  vexo::sim::ServeEnd end = vexo::sim::Serve(*line, replayer, serve, signal_fd);
  line.reset();
  bool written = true;
  if (!options.report_path.empty()) {
    std::string json = replayer.ReportJson();
    written = WriteFile(options.report_path, json.data(), json.size());
    if (!written) std::cerr << "vexo-radio-sim: cannot write " << options.report_path << "\n";
  }
  if (const auto& difference = replayer.difference()) {
    std::cerr << "vexo-radio-sim: " << options.replay_path << ":" << difference->line << ": "
              << difference->note << "; expected " << vexo::sim::HexOf(difference->expected)
              << ", got " << vexo::sim::HexOf(difference->got) << "\n";
    return kExitFailed;
  }
  if (end == vexo::sim::ServeEnd::line_failed) {
    std::cerr << "vexo-radio-sim: the line failed\n";
    return kExitFailed;
  }
  return written && replayer.ran_to_end() ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  vexo::sim::ParsedOptions parsed = vexo::sim::ParseOptions(args);
  if (!parsed.options) {
    std::cerr << "vexo-radio-sim: " << parsed.error << "\n\n" << vexo::sim::UsageText();
    return kExitUsage;
  }
  const vexo::sim::ProgramOptions& options = *parsed.options;
  if (options.help) {
    std::cout << vexo::sim::UsageText();
    return kExitOk;
  }
  if (options.image_path) return MakeImage(options);
  // A paced line is timed to the byte (87 us at 115200): the default 50 us
  // timer slack would make every scheduled byte late.
  prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  return options.replay_path.empty() ? Simulate(options) : Replay(options);
}
