#include "tools/flash/history_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/history/history_test_support.h"

namespace vexo {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunCaptured(const HistoryCommand& command) {
  std::ostringstream out, err;
  const int status = RunHistoryCommand(command, out, err);
  return {status, out.str(), err.str()};
}

TEST(HistoryCommand, ListsChecksExportsAndFailsOnAnAlteredRow) {
  testing::ScratchFolder folder;
  HistoryCommand command;
  command.history_file = folder.File("history.sqlite3");

  // Looking at a history that does not exist yet must not create one.
  EXPECT_EQ(RunCaptured(command).status, kHistoryExitOk);
  EXPECT_FALSE(std::filesystem::exists(command.history_file));
  {
    HistoryStore store;
    ASSERT_TRUE(store.OpenForRecording(command.history_file).ok());
    for (int n = 1; n <= 2; ++n) {
      JobRecord job = testing::SampleJob(n);
      ASSERT_TRUE(store.BeginJob(job).ok());
      job.result = JobResult::kCompleted;
      ASSERT_TRUE(store.FinishJob(job).ok());
    }
  }
  command.count = 1;
  Outcome listed = RunCaptured(command);
  EXPECT_EQ(listed.status, kHistoryExitOk);
  EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 2) << listed.out;
  EXPECT_NE(listed.out.find("COM2 A1002"), std::string::npos) << listed.out;  // the newest

  command.action = HistoryCommand::Action::kExport;
  command.export_format = "xml";
  command.export_file = "-";
  EXPECT_EQ(RunCaptured(command).status, kHistoryExitUsage);
  command.export_format = "csv";
  command.export_file = folder.File("out.csv");
  EXPECT_EQ(RunCaptured(command).status, kHistoryExitOk);
  std::ifstream csv(command.export_file);
  std::string csv_text((std::istreambuf_iterator<char>(csv)), {});
  EXPECT_EQ(std::count(csv_text.begin(), csv_text.end(), '\n'), 3);
  command.export_file = folder.File("no/such/folder/out.csv");
  EXPECT_EQ(RunCaptured(command).status, kHistoryExitFailed);

  command.action = HistoryCommand::Action::kCheck;
  Outcome checked = RunCaptured(command);
  EXPECT_EQ(checked.status, kHistoryExitOk);
  EXPECT_NE(checked.out.find("2 finished rows"), std::string::npos) << checked.out;
  ASSERT_EQ(
      testing::RawSql(command.history_file, "UPDATE jobs SET used_baud = 115200 WHERE id = 1"),
      SQLITE_OK);
  checked = RunCaptured(command);
  EXPECT_EQ(checked.status, kHistoryExitFailed);
  EXPECT_NE(checked.out.find("row #1"), std::string::npos) << checked.out;
}

}  // namespace
}  // namespace vexo
