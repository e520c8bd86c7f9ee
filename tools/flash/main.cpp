// vexo-flash: the download engine from a terminal or a script.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "app/settings.h"
#include "download/download_worker.h"
#include "download/program_listing.h"
#include "history/history_texts.h"
#include "history/job_facts.h"
#include "history/job_history_watcher.h"
#include "history/job_recorder.h"
#include "link/hex_text.h"
#include "tools/flash/console_host.h"
#include "tools/flash/flash_options.h"
#include "tools/flash/guarded_job.h"
#include "tools/flash/history_command.h"
#include "tools/flash/json_events.h"
#include "tools/flash/multi_flash.h"
#include "tools/flash/setup_check_command.h"
#include "tools/flash/traffic_log.h"

namespace vexo {
namespace {

constexpr int kDefaultBaud = 19200;

int UsageError(const std::string& reason) {
  std::fprintf(stderr, "vexo-flash: %s\n%s", reason.c_str(), FlashUsage());
  return kExitUsage;
}

// The saved rate counts only when it is one the window's list offers.
int SavedBaud() {
  std::string saved = ReadSetting(setting::kComputer, setting::kBaud);
  int baud = DecimalValue(saved);
  return std::to_string(baud) == saved && IsTargetBaud(baud) ? baud : kDefaultBaud;
}

std::string SelfPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string("vexo-flash");
}

class StreamMessages final : public MessageHost {
 public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// The listing on standard output, one line per message.
class StdoutLog final : public LogView {
 public:
  std::size_t TextLength() override { return 0; }
  void Empty() override {}
  void AppendLine(const std::string& line) override {
    std::string text = line;
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
      text.resize(text.size() - 2);
    std::printf("%s\n", text.c_str());
  }
};

// A history that cannot be written never stops a job: the user is told once.
void SayHistoryTrouble(JobRecorder& recorder, ConsoleHost& host) {
  if (std::optional<std::string> notice = recorder.TakeNotice()) host.SayText(*notice);
  if (std::optional<std::string> failure = recorder.TakeFailure()) {
    host.SayText(NotRecordedText(*failure));
  }
}

JobResult ResultOf(JobEnd end) {
  switch (end) {
    case JobEnd::completed:
      return JobResult::kCompleted;
    case JobEnd::stopped:
      return JobResult::kStopped;
    case JobEnd::failed:
      break;
  }
  return JobResult::kFailed;
}

// A descriptor 0-2 left closed by whoever started us would be taken by the
// first file opened (the log, the history), and every line meant for the
// terminal would land in it.
void OpenMissingStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

int Run(const std::vector<std::string>& args) {
  if (!RunStartup()) {
    std::fprintf(stderr,
                 "vexo-flash: the current directory cannot be used; settings are not read\n");
  }
  ParsedOptions parsed = ParseFlashOptions(args);
  if (!parsed.error.empty()) return UsageError(parsed.error);
  const FlashOptions& options = parsed.options;
  if (options.help) {
    std::fputs(FlashUsage(), stdout);
    return kExitCompleted;
  }
  if (options.history_list || options.history_check || options.history_export_format) {
    HistoryCommand command;
    command.history_file = options.history_file.value_or(std::string());
    if (options.history_check) {
      command.action = HistoryCommand::Action::kCheck;
      command.expect_head = options.history_expect_head;
    } else if (options.history_export_format) {
      command.action = HistoryCommand::Action::kExport;
      command.export_format = *options.history_export_format;
      command.export_file = options.history_export_file;
      // What a --log must never overwrite, an export must not either.
      command.keep = {
          TrimText(options.firmware.value_or(ReadSetting(setting::kFile, setting::kFilePath))),
          SettingsPath(), LanguagePath()};
    } else {
      command.count = *options.history_list;
    }
    return RunHistoryCommand(command);
  }

  ConsoleJob job;
  job.mode = options.verify ? kModeEraseProgramVerify : kModeEraseProgram;
  job.baud = options.baud.value_or(SavedBaud());
  const FlashTarget target = ResolveFlashTarget(
      options, ReadSetting(setting::kFile, setting::kFilePath), AppState().SavedPortText);
  if (!target.error.empty()) return UsageError(target.error);
  job.firmware_path = target.firmware;

  if (options.check) {
    return RunSetupCheck({options.ports, options.probe, job.firmware_path, options.system_root});
  }
  if (options.list) {
    StdoutLog listing;
    StreamMessages messages;
    // A file a job would refuse is refused here the same way.
    return ListProgramMessages(job.firmware_path, listing, messages, nullptr,
                               ListingCheck::as_job_in_mode, job.mode) == 0
               ? kExitCompleted
               : kExitStopped;
  }

  // The files a log must never overwrite.
  const std::vector<std::string> keep = {TrimText(job.firmware_path), SettingsPath(),
                                         LanguagePath()};
  if (options.ports.size() > 1) {
    MultiFlashSetup setup;
    setup.program = SelfPath();
    setup.ports = options.ports;
    setup.common_args = {"--baud", std::to_string(job.baud), job.firmware_path};
    if (options.verify) setup.common_args.insert(setup.common_args.begin(), "--verify");
    if (options.log_times) setup.common_args.insert(setup.common_args.begin(), "--log-times");
    if (options.history_file) {
      setup.common_args.insert(setup.common_args.begin(),
                               {"--history-file", *options.history_file});
    }
    setup.log_path = options.log_path;
    if (setup.log_path) {
      for (const std::string& port : setup.ports) {
        if (auto refusal = LogPathRefusal(PortLogPath(*setup.log_path, port), keep)) {
          return UsageError(*refusal);
        }
      }
    }
    setup.terminal = isatty(STDERR_FILENO) != 0;
    setup.json = options.json;
    IgnoreHangUps();
    return FlashEveryPort(setup);
  }
  job.port_text = target.port;
  // From here on a stop request waits for the job: the row and the end event
  // are written whenever it comes.
  StopRequests stop_requests;

  TrafficLog log(options.log_times ? LogTimes::on : LogTimes::off);
  if (options.log_path) {
    if (auto refusal = LogPathRefusal(*options.log_path, keep)) return UsageError(*refusal);
    if (auto failure = log.Open(*options.log_path)) return UsageError(*failure);
  }
  IgnoreHangUps();
  TerminalOutput terminal(stderr, isatty(STDERR_FILENO) != 0);
  ConsoleHost host(job, terminal, log);
  // Loaded once: the header, the start event and the row describe the very
  // bytes the job sends.
  const LoadedImage image = LoadJobImage(host);
  const JobFacts facts =
      GatherJobFacts(job.port_text, job.baud, job.mode, job.firmware_path, image);
  if (options.log_path) log.WriteComment(LogHeaderText(facts));
  JsonEvents events(stdout);
  if (options.json) {
    events.Start(facts, facts.usb_serial);
    host.AddWatcher(events);
  }
  JobRecorder recorder(options.history_file.value_or(DefaultHistoryPath()));
  JobHistoryWatcher history(recorder);
  recorder.Start(RecordOf(facts, JobProgram::kCommandLine,
                          ReadSetting(setting::kComputer, setting::kRadioType)));
  host.AddWatcher(history);
  SayHistoryTrouble(recorder, host);

  const GuardedJobResult ended = RunGuardedJob(host, image, stop_requests);
  const JobResult result = ResultOf(ended.end);
  recorder.Finish(result, ended.exit_status);
  SayHistoryTrouble(recorder, host);
  const std::optional<ChainHead>& head = recorder.head();
  if (head) log.WriteComment("history chain head " + head->Text());
  if (options.json) {
    events.End(
        std::string(JobResultText(result)), ended.exit_status,
        recorder.finished() ? std::optional<std::int64_t>(recorder.record().id) : std::nullopt,
        head ? std::optional<std::string>(head->Text()) : std::nullopt);
  }
  return ended.exit_status;
}

}  // namespace
}  // namespace vexo

int main(int argc, char** argv) {
  vexo::OpenMissingStandardDescriptors();
  return vexo::Run(std::vector<std::string>(argv + 1, argv + argc));
}
