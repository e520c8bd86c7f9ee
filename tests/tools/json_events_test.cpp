// vexo-flash --json against vexo-radio-sim: the whole stream of a real job
// parses, keeps its order and agrees with what the radio saw; a reader that
// does not read never holds the job up, and several children's lines stay
// whole. The throttle's last figure, on a fake clock.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "history/history_store.h"
#include "tests/support/fake_port.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "tools/flash/json_events.h"

namespace vexo {
namespace {

using testing::SimProcess;

std::string UpperHex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

TEST(JsonEvents, AWholeVerifiedJobAgreesWithTheRadiosReport) {
  testing::TempWorkdir workdir;
  constexpr int kRecords = 9;
  testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(kRecords, 0x800));
  SimProcess sim({"--erase-ms", "20", "--identity", "0102030405060708"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  const testing::RunResult run = testing::RunProgram(
      "/bin/sh",
      {"-c", "cd '" + workdir.path() + "' && exec '" + testing::ProgramPath("vexo-flash") +
                 "' --json --verify --baud 57600" + " --history-file '" +
                 workdir.File("h.sqlite3") + "' --port '" + sim.pty_path() + "' fw.BIN"});
  const auto report = sim.Stop().report;
  ASSERT_EQ(run.end.exit_code, 0) << run.error_output;
  ASSERT_TRUE(report);

  std::vector<nlohmann::json> events;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_NO_THROW(events.push_back(nlohmann::json::parse(line))) << line;
  }
  ASSERT_GE(events.size(), 8u);
  std::vector<std::string> phases;
  std::int64_t last_t = 0;
  for (const nlohmann::json& e : events) {
    EXPECT_EQ(e.at("v"), 1);
    EXPECT_GE(e.at("t").get<std::int64_t>(), last_t) << e;
    last_t = e.at("t");
    if (e.at("event") == "phase") phases.push_back(e.at("name"));
  }
  EXPECT_EQ(phases, (std::vector<std::string>{"handshake", "erase", "programming", "read-back",
                                              "closing"}));

  const nlohmann::json& start = events.front();
  EXPECT_EQ(start.at("event"), "start");
  EXPECT_EQ(start.at("records"), kRecords);
  EXPECT_EQ(start.at("mode"), "E.P.R");
  EXPECT_EQ(start.at("rate"), 57600);
  EXPECT_EQ(start.at("sha256").get<std::string>().size(), 64u);

  // What the radio answered and received is what the stream says.
  const auto identity = report->Select(sim::kEventReply, "identity");
  ASSERT_EQ(identity.size(), 1u);
  const auto said = std::find_if(events.begin(), events.end(),
                                 [](const nlohmann::json& e) { return e["event"] == "identity"; });
  ASSERT_NE(said, events.end());
  EXPECT_EQ(said->at("hex"), UpperHex(identity[0].bytes));
  const std::size_t programmed = report->Select(sim::kEventMessage, "program").size();
  nlohmann::json last_programming;
  for (const nlohmann::json& e : events) {
    if (e["event"] == "progress" && e["phase"] == "programming") last_programming = e;
  }
  EXPECT_EQ(last_programming.at("done"), programmed);
  EXPECT_EQ(last_programming.at("total"), programmed);

  const nlohmann::json& end = events.back();
  EXPECT_EQ(end.at("event"), "end");
  EXPECT_EQ(end.at("result"), "completed");
  EXPECT_EQ(end.at("exit_status"), 0);
  EXPECT_EQ(end.at("closing_confirmed"), true);
  EXPECT_GT(end.at("history_row").get<std::int64_t>(), 0);
  // The head handed out is the one a check of the history finds.
  HistoryStore history;
  ASSERT_TRUE(history.OpenForReading(workdir.File("h.sqlite3")).ok());
  EXPECT_EQ(end.at("history_head"), history.CheckChain().value.head.Text());
}

std::vector<nlohmann::json> ParsedLines(const std::string& text) {
  std::vector<nlohmann::json> events;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    events.push_back(nlohmann::json::parse(line, nullptr, false));
  }
  return events;
}

TEST(JsonEvents, ThePhasesLastFigureGoesOutHoweverThePhaseEnds) {
  testing::FakeClock clock;
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    JsonEvents events(out, clock);
    for (const JobPhase phase : {JobPhase::programming, JobPhase::read_back}) {
      events.PhaseStarted(phase);
      for (int done = 0; done <= 40; ++done) events.ProgressMade(done, 100);  // within 100 ms
      if (phase == JobPhase::programming) events.PhaseEnded(phase, true, {});
    }
    events.MessageShown(6011, "differs");
    events.End("failed", 1, std::nullopt, std::nullopt);
  }
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  // Before each phase and before the message: the figure the job had reached.
  std::vector<std::pair<std::string, int>> last_before;
  int last_done = -1;
  for (const nlohmann::json& e : ParsedLines(text)) {
    if (e["event"] == "progress") last_done = e["done"];
    if (e["event"] == "phase" || e["event"] == "message") {
      last_before.emplace_back(e["event"], last_done);
      last_done = -1;
    }
  }
  EXPECT_EQ(last_before, (std::vector<std::pair<std::string, int>>{
                             {"phase", -1}, {"phase", 40}, {"message", 40}}));
}

// A pipe whose buffer is full and which nobody reads until told; a child
// opens it by its /proc path.
class FullPipe {
 public:
  FullPipe() {
    if (pipe(fds_) != 0) return;
    const int flags = fcntl(fds_[1], F_GETFL);
    fcntl(fds_[1], F_SETFL, flags | O_NONBLOCK);
    const std::string block(4095, '#');
    while (write(fds_[1], (block + "\n").data(), block.size() + 1) > 0) {
    }
    while (write(fds_[1], "\n", 1) > 0) {
    }
  }
  ~FullPipe() {
    for (int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  std::string WriteEndPath() const {
    return "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fds_[1]);
  }
  // Reads to the end in small pieces, so writers find little room at a time;
  // the filling lines are left out.
  std::string Drain() {
    close(fds_[1]);
    fds_[1] = -1;
    std::string text;
    char piece[512];
    for (ssize_t n; (n = read(fds_[0], piece, sizeof piece)) > 0;) {
      text.append(piece, static_cast<std::size_t>(n));
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::string events;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line[0] != '#') events += line + "\n";
    }
    return events;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(JsonEvents, AReaderThatDoesNotReadNeverHoldsTheJobUp) {
  testing::TempWorkdir workdir;
  constexpr int kRecords = 40;
  testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(kRecords, 0x800));
  SimProcess sim({"--erase-ms", "20"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  FullPipe stdout_pipe;
  testing::ChildProcess flash;
  std::string error;
  ASSERT_TRUE(flash.Start(
      "/bin/sh",
      {"-c", "cd '" + workdir.path() + "' && exec '" + testing::ProgramPath("vexo-flash") +
                 "' --json --history-file '" + workdir.File("h.sqlite3") + "' --port '" +
                 sim.pty_path() + "' fw.BIN"},
      workdir.File("stderr.txt"), stdout_pipe.WriteEndPath(), error))
      << error;
  // Nothing is read until the job has ended: it must end all the same.
  const std::optional<testing::ProcessEnd> end = flash.WaitForEnd(std::chrono::seconds(30));
  ASSERT_TRUE(end) << "the job waited for its reader";
  EXPECT_EQ(end->exit_code, 0);
  const auto report = sim.Stop().report;
  ASSERT_TRUE(report);
  EXPECT_EQ(report->Select(sim::kEventMessage, "program").size(), std::size_t{kRecords});
}

TEST(JsonEvents, SeveralChildrensLongLinesStayWhole) {
  testing::TempWorkdir workdir;
  // Control characters take six bytes each in JSON: a start line far longer
  // than a pipe takes in one write.
  std::string folder = workdir.path();
  while (folder.size() < 3000) folder += "/" + std::string(200, '\x01');
  std::filesystem::create_directories(folder);
  const std::string firmware = folder + "/fw.BIN";
  testing::WriteFile(firmware, testing::MakeImage(6, 0x800));
  std::vector<std::unique_ptr<SimProcess>> sims;
  std::string ports;
  for (int i = 0; i < 3; ++i) {
    sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{"--erase-ms", "20"}));
    ASSERT_TRUE(sims.back()->ok()) << sims.back()->error();
    ports += " --port '" + sims.back()->pty_path() + "'";
  }
  FullPipe stdout_pipe;
  testing::ChildProcess flash;
  std::string error;
  ASSERT_TRUE(flash.Start(
      "/bin/sh",
      {"-c",
       "cd '" + workdir.path() + "' && exec '" + testing::ProgramPath("vexo-flash") +
           "' --json --history-file '" + workdir.File("h.sqlite3") + "'" + ports + " \"$0\"",
       firmware},
      workdir.File("stderr.txt"), stdout_pipe.WriteEndPath(), error))
      << error;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // all are waiting to write
  const std::string events = stdout_pipe.Drain();
  const std::optional<testing::ProcessEnd> end = flash.WaitForEnd(std::chrono::seconds(30));
  ASSERT_TRUE(end);
  EXPECT_EQ(end->exit_code, 0) << testing::ReadWholeFile(workdir.File("stderr.txt"));
  std::set<std::string> started;
  for (const nlohmann::json& e : ParsedLines(events)) {
    ASSERT_TRUE(e.is_object()) << "a line was cut into";
    EXPECT_TRUE(e.contains("port")) << "passed on from several, each names its own";
    if (e["event"] == "start") {
      EXPECT_EQ(e["file"], firmware);
      started.insert(e["port"].get<std::string>());
    }
  }
  EXPECT_EQ(started.size(), sims.size());
}

}  // namespace
}  // namespace vexo
