// vexo-flash --json against vexo-radio-sim: the whole stream of a real job
// parses, keeps its order and agrees with what the radio saw.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "history/history_store.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"

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
      "/bin/sh", {"-c", "cd '" + workdir.path() + "' && exec '" +
                            testing::ProgramPath("vexo-flash") + "' --json --verify --baud 57600" +
                            " --history-file '" + workdir.File("h.sqlite3") + "' --port '" +
                            sim.pty_path() + "' fw.BIN"});
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

}  // namespace
}  // namespace vexo
