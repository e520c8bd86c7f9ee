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

void WriteFinishedJobs(const std::string& path, int count) {
  HistoryStore store;
  ASSERT_TRUE(store.OpenForRecording(path).ok());
  for (int n = 1; n <= count; ++n) {
    JobRecord job = testing::SampleJob(n);
    ASSERT_TRUE(store.BeginJob(job).ok());
    job.result = JobResult::kCompleted;
    ASSERT_TRUE(store.FinishJob(job).ok());
  }
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(HistoryCommand, ListsChecksExportsAndFailsOnAnAlteredRow) {
  testing::ScratchFolder folder;
  HistoryCommand command;
  command.history_file = folder.File("history.sqlite3");

  // Looking at a history that does not exist yet must not create one.
  EXPECT_EQ(RunCaptured(command).status, kHistoryExitOk);
  EXPECT_FALSE(std::filesystem::exists(command.history_file));
  WriteFinishedJobs(command.history_file, 2);
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

// The check only looks: a damaged file is reported with what SQLite found and
// left where it is, byte for byte.
TEST(HistoryCommand, CheckOfADamagedFileSaysSoAndLeavesIt) {
  testing::ScratchFolder folder;
  HistoryCommand command;
  command.action = HistoryCommand::Action::kCheck;
  command.history_file = folder.File("history.sqlite3");
  WriteFinishedJobs(command.history_file, 3);
  ASSERT_EQ(testing::RawSql(command.history_file, "PRAGMA journal_mode = DELETE"), SQLITE_OK);
  {
    std::fstream file(command.history_file, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(4096);
    file.put('\xee');
  }
  const std::string damaged = FileBytes(command.history_file);
  const Outcome checked = RunCaptured(command);
  EXPECT_EQ(checked.status, kHistoryExitFailed);
  EXPECT_NE(checked.err.find("is damaged"), std::string::npos) << checked.err;
  EXPECT_NE(checked.err.find("malformed"), std::string::npos) << checked.err;
  EXPECT_EQ(FileBytes(command.history_file), damaged);
  for (const auto& entry : std::filesystem::directory_iterator(folder.File("")))
    EXPECT_EQ(entry.path().filename().string().find(kCorruptSuffix), std::string::npos);
}

// No file can show that its newest rows were cut, with its own record of its
// length cut to match; the head kept from earlier can.
TEST(HistoryCommand, ExpectHeadCatchesRowsCutFromTheEnd) {
  testing::ScratchFolder folder;
  HistoryCommand command;
  command.action = HistoryCommand::Action::kCheck;
  command.history_file = folder.File("history.sqlite3");
  WriteFinishedJobs(command.history_file, 5);
  const Outcome before = RunCaptured(command);
  const std::size_t at = before.out.find("Chain head: ");
  ASSERT_NE(at, std::string::npos) << before.out;
  const std::string text = before.out.substr(at + 12, before.out.find('\n', at) - at - 12);
  command.expect_head = ChainHead::Parse(text);
  ASSERT_TRUE(command.expect_head) << text;
  EXPECT_EQ(command.expect_head->rows, 5);
  EXPECT_EQ(RunCaptured(command).status, kHistoryExitOk);

  ASSERT_EQ(testing::RawSql(command.history_file,
                            "DELETE FROM jobs WHERE id >= 4; UPDATE meta SET value = 3 "
                            "WHERE key IN ('chain_length', 'chain_head_id')"),
            SQLITE_OK);
  const Outcome cut = RunCaptured(command);
  EXPECT_EQ(cut.status, kHistoryExitFailed);
  EXPECT_NE(cut.out.find("short of the head given"), std::string::npos) << cut.out;
  command.expect_head.reset();
  EXPECT_EQ(RunCaptured(command).status, kHistoryExitOk);  // what the file alone shows
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
    ASSERT_TRUE(store.OpenForRecording(command.history_file).ok());
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
  ASSERT_TRUE(store.OpenForRecording(command.history_file).ok());
  EXPECT_TRUE(store.notice().empty()) << store.notice();
}

}  // namespace
}  // namespace vexo
