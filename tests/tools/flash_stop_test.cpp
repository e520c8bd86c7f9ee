// Stopping vexo-flash from outside, and its traffic log, on real processes
// against vexo-radio-sim: what the radio received, what the technician reads,
// the exit status, the log file and the port's line settings afterwards.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "app/text_ids.h"
#include "history/history_store.h"
#include "history/job_facts.h"
#include "history/job_history_watcher.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "tools/flash/console_host.h"
#include "tools/flash/traffic_log.h"

namespace vexo {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::ReadWholeFile;
using testing::SimProcess;
using testing::T;

constexpr int kRecords = 12;

std::string Quoted(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += " '" + w + "'";
  return text;
}

class FlashStopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(kRecords, 0x400));
    // Chinese texts ("T<id>") whatever the locale of the test run.
    std::ofstream(workdir.File("system.ini")) << "[language]\nlanguage=1\n";
  }

  // Starts vexo-flash in the working directory; redirections go to the shell.
  void Start(const std::vector<std::string>& args, const std::string& redirect = {}) {
    const std::string command = "cd '" + workdir.path() + "' && exec '" +
                                testing::ProgramPath("vexo-flash") + "'" + Quoted(args) + redirect;
    std::string error;
    ASSERT_TRUE(flash.Start("/bin/sh", {"-c", command}, workdir.File("stderr.txt"),
                            workdir.File("stdout.txt"), error))
        << error;
  }

  // Waits for the end of vexo-flash; killed when it does not end in time.
  testing::ProcessEnd End(std::chrono::milliseconds limit = 20s) {
    if (std::optional<testing::ProcessEnd> end = flash.WaitForEnd(limit)) return *end;
    return flash.Stop(SIGKILL, 5s);
  }

  // Waits until the file holds text (the log is written line by line).
  bool WaitForText(const std::string& file, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (ReadWholeFile(file).find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  std::string Errors() { return ReadWholeFile(workdir.File("stderr.txt")); }

  // The last --json event written to standard output.
  nlohmann::json LastEvent() {
    std::istringstream lines(ReadWholeFile(workdir.File("stdout.txt")));
    std::string last;
    for (std::string line; std::getline(lines, line);) last = line;
    return nlohmann::json::parse(last, nullptr, false);
  }

  // The newest row of the history file h.sqlite3.
  JobRecord NewestJob() {
    HistoryStore reader;
    if (!reader.OpenForReading(workdir.File("h.sqlite3")).ok()) return {};
    const std::vector<JobRecord> rows = reader.Recent(1).value;
    return rows.empty() ? JobRecord{} : rows[0];
  }

  // The end event and the history row agree on how the job ended.
  void ExpectEnded(JobResult result, int exit_status) {
    const nlohmann::json end = LastEvent();
    ASSERT_FALSE(end.is_discarded());
    EXPECT_EQ(end.value("event", ""), "end");
    EXPECT_EQ(end.value("result", ""), JobResultText(result));
    EXPECT_EQ(end.value("exit_status", -1), exit_status);
    const JobRecord row = NewestJob();
    EXPECT_EQ(row.result, result);
    EXPECT_EQ(row.exit_status, exit_status);
    EXPECT_EQ(end.value("history_row", std::int64_t{-1}), row.id);
  }

  testing::TempWorkdir workdir;
  ChildProcess flash;
};

std::optional<termios> LineOf(const std::string& device) {
  const int fd = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  termios tio{};
  const bool ok = tcgetattr(fd, &tio) == 0;
  close(fd);
  return ok ? std::optional<termios>(tio) : std::nullopt;
}

constexpr char kDall[] = "S:44 41 4C 4C";

TEST_F(FlashStopTest, OneRequestBeforeTheEraseStopsAtOnceAndTheRadioIsUntouched) {
  SimProcess sim({"--pace", "--probe-rate", "none"});  // the handshake takes its time
  ASSERT_TRUE(sim.ok()) << sim.error();
  Start({"--port", sim.pty_path(), "--log", "t.log", "fw.BIN"});
  ASSERT_TRUE(WaitForText(workdir.File("t.log"), "S:55 AA"));
  kill(flash.pid(), SIGINT);
  const testing::ProcessEnd end = End();
  EXPECT_EQ(end.exit_code, 130);
  EXPECT_EQ(Errors(), T(text::kStoppedUntouched) + "\n");
  const std::string log = ReadWholeFile(workdir.File("t.log"));
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  EXPECT_EQ(log.find(kDall), std::string::npos);
  const auto report = sim.Stop().report;
  ASSERT_TRUE(report);
  EXPECT_TRUE(report->Select(sim::kEventMessage, "erase").empty());
}

TEST_F(FlashStopTest, FromTheEraseOnASecondRequestWithinFiveSecondsStops) {
  SimProcess sim({"--erase-ms", "4000"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  const std::optional<termios> before = LineOf(sim.pty_path());
  Start({"--port", sim.pty_path(), "--baud", "115200", "--log", "t.log", "fw.BIN"});
  ASSERT_TRUE(WaitForText(workdir.File("t.log"), kDall));
  kill(flash.pid(), SIGTERM);
  ASSERT_TRUE(WaitForText(workdir.File("stderr.txt"), T(text::kStopWarning)));
  EXPECT_FALSE(flash.WaitForEnd(200ms)) << "the first request alone ended the job";
  kill(flash.pid(), SIGTERM);
  const testing::ProcessEnd end = End();
  EXPECT_EQ(end.exit_code, 143);
  EXPECT_EQ(Errors(), T(text::kStopWarning) + "\n" + T(text::kStoppedUnfinished) + "\n");
  const std::string log = ReadWholeFile(workdir.File("t.log"));
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  // The line is as vexo-flash found it, not raw at 115200.
  const std::optional<termios> after = LineOf(sim.pty_path());
  ASSERT_TRUE(before && after);
  EXPECT_EQ(cfgetospeed(&*after), cfgetospeed(&*before));
  EXPECT_EQ(after->c_lflag, before->c_lflag);
}

TEST_F(FlashStopTest, ARadioThatSaysNoIsAFailureNotAStop) {
  SimProcess sim({"--erase-ms", "20", "--erase-reply", "45"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  Start({"--json", "--history-file", "h.sqlite3", "--port", sim.pty_path(), "fw.BIN"});
  EXPECT_EQ(End().exit_code, 1);
  ExpectEnded(JobResult::kFailed, 1);
}

TEST_F(FlashStopTest, AThirdRequestRightAfterTheSecondStillWritesTheRowAndTheEndEvent) {
  SimProcess sim({"--erase-ms", "4000"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  Start({"--json", "--history-file", "h.sqlite3", "--port", sim.pty_path(), "--log", "t.log",
         "fw.BIN"});
  ASSERT_TRUE(WaitForText(workdir.File("t.log"), kDall));
  kill(flash.pid(), SIGINT);
  ASSERT_TRUE(WaitForText(workdir.File("stderr.txt"), T(text::kStopWarning)));
  kill(flash.pid(), SIGINT);
  std::this_thread::sleep_for(2ms);
  kill(flash.pid(), SIGINT);
  const testing::ProcessEnd end = End();
  EXPECT_TRUE(end.exited) << "killed by signal " << end.signal;
  EXPECT_EQ(end.exit_code, 130);
  ExpectEnded(JobResult::kStopped, 130);
}

TEST_F(FlashStopTest, ClosedStandardStreamsLeaveTheLogAndTheHistoryAlone) {
  SimProcess sim({"--erase-ms", "20"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  Start({"--json", "--history-file", "h.sqlite3", "--port", sim.pty_path(), "--log", "t.log",
         "fw.BIN"},
        " >&- 2>&-");
  EXPECT_EQ(End().exit_code, 0);
  const std::string log = ReadWholeFile(workdir.File("t.log"));
  EXPECT_EQ(log.rfind("# VEXO", 0), 0u) << log.substr(0, 80);
  EXPECT_EQ(log.find('{'), std::string::npos) << "events in the log";
  EXPECT_EQ(log.find(T(text::kDownloadComplete)), std::string::npos) << "messages in the log";
  EXPECT_EQ(NewestJob().result, JobResult::kCompleted);  // not damaged by stray lines
}

TEST_F(FlashStopTest, HangUpAndAClosedErrorStreamNeverEndAJob) {
  SimProcess sim({"--erase-ms", "300"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  Start({"--port", sim.pty_path(), "--log", "t.log", "fw.BIN"}, " 2>&-");
  ASSERT_TRUE(WaitForText(workdir.File("t.log"), kDall));
  kill(flash.pid(), SIGHUP);
  const std::optional<testing::ProcessEnd> end = flash.WaitForEnd(60s);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->exit_code, 0);
  const auto report = sim.Stop().report;
  ASSERT_TRUE(report);
  EXPECT_EQ(report->Select(sim::kEventMessage, "program").size(), std::size_t{kRecords});
}

TEST_F(FlashStopTest, SeveralPortsPassRequestsOnAndNameWhyEachStopped) {
  SimProcess a({"--erase-ms", "4000"});
  SimProcess b({"--erase-ms", "4000"});
  ASSERT_TRUE(a.ok() && b.ok());
  Start({"--port", a.pty_path(), "--port", b.pty_path(), "--log", "t.log", "fw.BIN"});
  for (const SimProcess* sim : {&a, &b}) {
    std::string log = "t.log." + sim->pty_path();
    std::replace(log.begin(), log.end(), '/', '_');
    ASSERT_TRUE(WaitForText(workdir.File(log), kDall));
  }
  kill(flash.pid(), SIGTERM);
  EXPECT_FALSE(flash.WaitForEnd(300ms)) << "the first request alone ended the run";
  kill(flash.pid(), SIGTERM);
  const testing::ProcessEnd end = End();
  EXPECT_EQ(end.exit_code, 143);
  const std::string errors = Errors();
  for (const SimProcess* sim : {&a, &b}) {
    // The summary row of each port: stopped, and why.
    const std::size_t row = errors.rfind("\n" + sim->pty_path() + "  stopped");
    ASSERT_NE(row, std::string::npos) << errors;
    EXPECT_NE(errors.find(T(text::kStoppedUnfinished), row), std::string::npos) << errors;
  }
}

TEST_F(FlashStopTest, ChildrenWhoseParentIsGoneFinishTheirJobs) {
  SimProcess a({"--erase-ms", "500"});
  SimProcess b({"--erase-ms", "500"});
  ASSERT_TRUE(a.ok() && b.ok());
  Start({"--port", a.pty_path(), "--port", b.pty_path(), "--log", "t.log", "fw.BIN"});
  std::vector<std::string> logs;
  for (const SimProcess* sim : {&a, &b}) {
    std::string log = "t.log." + sim->pty_path();
    std::replace(log.begin(), log.end(), '/', '_');
    logs.push_back(workdir.File(log));
    ASSERT_TRUE(WaitForText(logs.back(), kDall));
  }
  kill(flash.pid(), SIGKILL);
  flash.WaitForEnd(5s);
  for (const std::string& log : logs) EXPECT_TRUE(WaitForText(log, "S:45 \r\nR:06 \r\n")) << log;
  for (SimProcess* sim : {&a, &b}) {
    const auto report = sim->Stop().report;
    ASSERT_TRUE(report);
    EXPECT_EQ(report->Select(sim::kEventMessage, "program").size(), std::size_t{kRecords});
  }
}

TEST_F(FlashStopTest, LogsThatWouldDestroyAFileAreRefusedAndFailedWritesSaidOnce) {
  const std::string firmware = ReadWholeFile(workdir.File("fw.BIN"));
  std::filesystem::create_symlink(workdir.File("system.ini"), workdir.File("settings.log"));
  for (const std::string& log : {std::string("fw.BIN"), std::string("settings.log")}) {
    const testing::RunResult run =
        testing::RunProgram("/bin/sh", {"-c", "cd '" + workdir.path() + "' && exec '" +
                                                  testing::ProgramPath("vexo-flash") +
                                                  "' --port /dev/null --log " + log + " fw.BIN"});
    EXPECT_EQ(run.end.exit_code, 2) << log;
    EXPECT_NE(run.error_output.find("destroy"), std::string::npos) << run.error_output;
  }
  EXPECT_EQ(ReadWholeFile(workdir.File("fw.BIN")), firmware);
  EXPECT_EQ(ReadWholeFile(workdir.File("system.ini")), "[language]\nlanguage=1\n");

  // A pipe would hold the job until something reads it; a device is no log.
  ASSERT_EQ(mkfifo(workdir.File("t.fifo").c_str(), 0600), 0);
  const testing::RunResult fifo = testing::RunProgram(
      "/bin/sh",
      {"-c", "cd '" + workdir.path() + "' && exec '" + testing::ProgramPath("vexo-flash") +
                 "' --port /dev/null --log t.fifo fw.BIN"},
      10s);
  EXPECT_EQ(fifo.end.exit_code, 2);
  EXPECT_NE(fifo.error_output.find("not a regular file"), std::string::npos) << fifo.error_output;

  // A log that cannot be written (no file may grow; what it says goes
  // through a pipe): said once, and the status is the job's.
  const testing::RunResult full = testing::RunProgram(
      "/bin/sh", {"-c", "cd '" + workdir.path() + "' && { (trap '' XFSZ; ulimit -f 0; exec '" +
                            testing::ProgramPath("vexo-flash") +
                            "' --port /dev/no-such-port --log full.log fw.BIN) 2>&1;"
                            " echo \"exit $?\"; } | cat"});
  EXPECT_NE(full.output.find("exit 1\n"), std::string::npos) << full.output;
  std::size_t said = 0;
  for (std::size_t at = 0; (at = full.output.find("full.log", at)) != std::string::npos; ++at) {
    ++said;
  }
  EXPECT_EQ(said, 1u) << full.output;
}

TEST_F(FlashStopTest, ListingAFileAJobWouldRefuseSaysSo) {
  testing::WriteFile(workdir.File("zero.BIN"), std::vector<std::uint8_t>(36 + 2 * 133, 0));
  const testing::RunResult run = testing::RunProgram(
      "/bin/sh", {"-c", "cd '" + workdir.path() + "' && exec '" +
                            testing::ProgramPath("vexo-flash") + "' --list zero.BIN"});
  EXPECT_EQ(run.end.exit_code, 1);
  EXPECT_EQ(run.error_output, T(text::kRecordsOverlap) + "\n");
  EXPECT_EQ(run.output, "");
}

// The main thread says the stop warning while the job's thread changes
// phase: both reach the history recorder, which must take them in turn (run
// under ThreadSanitizer by scripts/sanitize.sh thread).
TEST(FlashStopRace, AWarningSaidDuringPhaseChangesReachesTheRecorderInTurn) {
  testing::TempWorkdir workdir;
  JobRecorder recorder(workdir.File("h.sqlite3"));
  JobHistoryWatcher history(recorder);
  recorder.Start(RecordOf(JobFacts{}, JobProgram::kCommandLine, {}));
  TrafficLog log;
  std::FILE* quiet = std::fopen("/dev/null", "w");
  ASSERT_NE(quiet, nullptr);
  TerminalOutput output(quiet, false);
  ConsoleHost host(ConsoleJob{}, output, log);
  host.AddWatcher(history);
  constexpr int kRounds = 40;
  std::thread job([&] {
    for (int i = 0; i < kRounds; ++i) {
      host.PhaseStarted(JobPhase::erase);
      host.PhaseEnded(JobPhase::erase, true, {});
    }
  });
  for (int i = 0; i < kRounds; ++i) host.Say(text::kStopWarning);
  job.join();
  recorder.Finish(JobResult::kStopped, 130);
  std::fclose(quiet);
  const std::vector<int>& said = recorder.record().message_ids;
  EXPECT_EQ(std::count(said.begin(), said.end(), text::kStopWarning), kRounds);
  EXPECT_EQ(recorder.record().phases.size(), std::size_t{kRounds});
}

}  // namespace
}  // namespace vexo
