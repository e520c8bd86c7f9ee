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
    ASSERT_TRUE(store.Open(command.history_file).ok());
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

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// An export must never land on a file the user needs: the history itself
// (or its journal), the firmware, the settings or the language file, or any
// file that is not an earlier export; an earlier export is replaced.
TEST(HistoryCommand, ExportRefusesFilesItMustKeepAndEscapesControlsInTheList) {
  testing::ScratchFolder folder;
  HistoryCommand command;
  command.history_file = folder.File("history.sqlite3");
  {
    HistoryStore store;
    ASSERT_TRUE(store.Open(command.history_file).ok());
    JobRecord job = testing::SampleJob(1);
    job.firmware_path = "/fw/\x1b[2K\rcompleted\xc2\x9b.BIN";
    ASSERT_TRUE(store.BeginJob(job).ok());
  }
  const Outcome listed = RunCaptured(command);
  EXPECT_EQ(listed.out.find_first_of("\x1b\r"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\\x1B[2K\\x0Dcompleted\\xC2\\x9B.BIN"), std::string::npos)
      << listed.out;

  const std::string firmware = folder.File("radio.BIN");
  const std::string notes = folder.File("notes.csv");
  std::ofstream(firmware) << "firmware";
  std::ofstream(notes) << "name,phone\r\n";
  std::filesystem::create_symlink(command.history_file, folder.File("link.csv"));
  command.keep = {firmware};
  command.action = HistoryCommand::Action::kExport;
  for (const std::string format : {"csv", "json"}) {
    command.export_format = format;
    for (const std::string& kept :
         {command.history_file, folder.File("link.csv"), firmware, notes}) {
      const std::string before = FileText(kept);
      command.export_file = kept;
      const Outcome refused = RunCaptured(command);
      EXPECT_EQ(refused.status, kHistoryExitUsage) << kept;
      EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
      EXPECT_EQ(FileText(kept), before) << kept;
    }
    command.export_file = folder.File("earlier." + format);
    EXPECT_EQ(RunCaptured(command).status, kHistoryExitOk);
    EXPECT_EQ(RunCaptured(command).status, kHistoryExitOk) << "an earlier export is replaced";
  }
  HistoryStore store;
  ASSERT_TRUE(store.Open(command.history_file).ok());
  EXPECT_TRUE(store.notice().empty()) << store.notice();
}

}  // namespace
}  // namespace vexo
