#include "history/history_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "history/history_schema.h"
#include "tests/history/history_test_support.h"

namespace vexo {
namespace {

using testing::RawSql;
using testing::SampleJob;

class HistoryStoreTest : public ::testing::Test {
 protected:
  // Three finished jobs (#1..#3) and one still running (#4).
  void WriteFourJobs() {
    HistoryStore store;
    ASSERT_TRUE(store.OpenForRecording(path_).ok());
    for (int n = 1; n <= 4; ++n) {
      JobRecord job = SampleJob(n);
      ASSERT_TRUE(store.BeginJob(job).ok());
      if (n == 4) break;
      job.result = JobResult::kCompleted;
      ASSERT_TRUE(store.FinishJob(job).ok());
    }
  }
  ChainCheck Check() {
    HistoryStore store;
    EXPECT_TRUE(store.OpenForReading(path_).ok());
    HistoryResult<ChainCheck> check = store.CheckChain();
    EXPECT_TRUE(check.ok()) << check.error;
    return check.value;
  }

  testing::ScratchFolder folder_;
  const std::string path_ = folder_.File("deep/er/history.sqlite3");
};

TEST_F(HistoryStoreTest, RowWrittenAtStartReadsInterruptedWhenTheProcessDies) {
  const pid_t child = fork();
  if (child == 0) {
    HistoryStore store;
    JobRecord job = SampleJob();
    job.phases.resize(1);
    job.message_ids.clear();
    if (!store.OpenForRecording(path_).ok() || !store.BeginJob(job).ok()) _exit(1);
    job.phases.push_back({phase::kErase, job.started_utc_ms + 200, 0, 2, 8, 0});
    job.message_ids.push_back(3009);
    if (!store.UpdateJob(job).ok()) _exit(1);
    _exit(0);  // no FinishJob, no destructor: as if killed mid-erase
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(WEXITSTATUS(status), 0);

  HistoryStore store;
  ASSERT_TRUE(store.OpenForRecording(path_).ok());
  auto recent = store.Recent(5);
  ASSERT_TRUE(recent.ok()) << recent.error;
  ASSERT_EQ(recent.value.size(), 1u);
  const JobRecord& row = recent.value[0];
  EXPECT_EQ(row.result, JobResult::kInterrupted);
  ASSERT_EQ(row.phases.size(), 2u);
  EXPECT_EQ(row.phases[1].retries, 2);
  EXPECT_EQ(row.message_ids, std::vector<int>{3009});
  EXPECT_EQ(row.ended_utc_ms, 0);
  auto check = store.CheckChain();
  EXPECT_TRUE(check.value.intact()) << check.value.reason;  // an interrupted row is not tampering
}

TEST_F(HistoryStoreTest, EightConcurrentWriterProcessesLoseNoRow) {
  constexpr int kWriters = 8;
  constexpr int kJobsEach = 6;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t child = fork();
    if (child == 0) {
      HistoryStore store;
      if (!store.OpenForRecording(path_).ok()) _exit(1);
      for (int j = 0; j < kJobsEach; ++j) {
        JobRecord job = SampleJob(w * kJobsEach + j);
        if (!store.BeginJob(job).ok() || !store.UpdateJob(job).ok()) _exit(2);
        job.result = JobResult::kCompleted;
        if (!store.FinishJob(job).ok()) _exit(3);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;
  }
  HistoryStore store;
  ASSERT_TRUE(store.OpenForRecording(path_).ok());
  auto all = store.All();
  ASSERT_TRUE(all.ok()) << all.error;
  EXPECT_EQ(all.value.size(), static_cast<std::size_t>(kWriters * kJobsEach));
  const ChainCheck check = store.CheckChain().value;
  EXPECT_TRUE(check.intact()) << check.reason;
  EXPECT_EQ(check.rows_checked, kWriters * kJobsEach);
}

TEST_F(HistoryStoreTest, ChainNamesTheFirstRowAlteredOrRemoved) {
  WriteFourJobs();
  ChainCheck check = Check();
  EXPECT_TRUE(check.intact()) << check.reason;
  EXPECT_EQ(check.rows_checked, 3);

  struct Case {
    const char* tamper;
    std::int64_t bad_row;
    const char* named = "";  // the column the reason must name
  } cases[] = {
      {"UPDATE jobs SET firmware_sha256 = 'ff' WHERE id = 2", 2},
      {"UPDATE messages SET text_id = 3025 WHERE job_id = 1 AND seq = 0", 1},
      {"UPDATE phases SET retries = 0 WHERE job_id = 3 AND seq = 0", 3},
      {"DELETE FROM jobs WHERE id = 2", 2},
      {"DELETE FROM jobs WHERE id = 3", 3},  // the newest finished row
      {"UPDATE jobs SET result = 'completed' WHERE id = 4", 4},
      // Values a record cannot hold, which reading it back would smooth over.
      {"UPDATE jobs SET mode = 'E.P.R ' WHERE id = 2", 2, "column mode"},
      {"UPDATE jobs SET exit_status = '0 (forged)' WHERE id = 2", 2, "column exit_status"},
      {"UPDATE jobs SET used_baud = used_baud + 4294967296 WHERE id = 2", 2, "column used_baud"},
      {"UPDATE jobs SET closing_confirmed = 5 WHERE id = 2", 2, "column closing_confirmed"},
      {"UPDATE jobs SET lowest_address = lowest_address + 4294967296 WHERE id = 2", 2,
       "column lowest_address"},
      {"UPDATE phases SET bytes_sent = 'many' WHERE job_id = 1 AND seq = 1", 1, "bytes_sent"},
  };
  const std::string pristine = folder_.File("pristine.sqlite3");
  ASSERT_EQ(RawSql(path_, "VACUUM INTO '" + pristine + "'"), SQLITE_OK);
  for (const Case& c : cases) {
    std::filesystem::remove(path_);
    std::filesystem::remove(path_ + "-wal");
    std::filesystem::remove(path_ + "-shm");
    std::filesystem::copy_file(pristine, path_);
    ASSERT_EQ(RawSql(path_, c.tamper), SQLITE_OK) << c.tamper;
    check = Check();
    EXPECT_FALSE(check.intact()) << c.tamper;
    EXPECT_EQ(check.first_bad_row, c.bad_row) << c.tamper << ": " << check.reason;
    EXPECT_NE(check.reason.find(c.named), std::string::npos) << check.reason;
  }
}

TEST_F(HistoryStoreTest, LockedFileFailsTheWriteWithAReasonAfterTheTimeout) {
  HistoryStore store;
  ASSERT_TRUE(store.OpenForRecording(path_, std::chrono::milliseconds(100)).ok());
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  JobRecord job = SampleJob();
  const HistoryStatus status = store.BeginJob(job);
  EXPECT_NE(status.error.find("locked"), std::string::npos) << status.error;
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(store.BeginJob(job).ok());  // the store is still usable afterwards
}

TEST_F(HistoryStoreTest, CorruptFileIsKeptAsideOnceAndAFreshOneStarted) {
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
  const std::string garbage(8192, 'x');
  std::ofstream(path_, std::ios::binary) << garbage;
  // Several processes find the damage at once; one sets it aside, all record.
  constexpr int kProcesses = 4;
  constexpr int kToldKeptAside = 10;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    if (child == 0) {
      HistoryStore store;
      JobRecord job = SampleJob(p);
      if (!store.OpenForRecording(path_).ok() || !store.BeginJob(job).ok()) _exit(1);
      _exit(store.notice_kind() == HistoryNotice::kKeptAside ? kToldKeptAside : 0);
    }
    children.push_back(child);
  }
  int told = 0;
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1);
    told += WEXITSTATUS(status) == kToldKeptAside;
  }
  EXPECT_EQ(told, 1);
  int aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.File("deep/er"))) {
    const std::string name = entry.path().filename().string();
    if (name.find(std::string("history.sqlite3") + kCorruptSuffix) != 0 ||
        name.find("-wal") != std::string::npos || name.find("-shm") != std::string::npos)
      continue;
    ++aside;
    std::ifstream in(entry.path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
  }
  EXPECT_EQ(aside, 1);
  HistoryStore store;
  ASSERT_TRUE(store.OpenForRecording(path_).ok());
  EXPECT_EQ(store.Recent(10).value.size(), static_cast<std::size_t>(kProcesses));
}

TEST_F(HistoryStoreTest, NewerSchemaIsReadOnlyAndOlderIsMigrated) {
  WriteFourJobs();
  ASSERT_EQ(RawSql(path_, "PRAGMA user_version = 99"), SQLITE_OK);
  {
    HistoryStore store;
    ASSERT_TRUE(store.OpenForRecording(path_).ok());
    EXPECT_TRUE(store.read_only());
    EXPECT_NE(store.notice().find("newer"), std::string::npos) << store.notice();
    JobRecord job = SampleJob(5);
    EXPECT_FALSE(store.BeginJob(job).ok());
    EXPECT_EQ(store.Recent(10).value.size(), 4u);
  }
  // Back to the first layout: no chain head, no index.
  ASSERT_EQ(RawSql(path_, "DROP TABLE meta; DROP INDEX jobs_by_start; PRAGMA user_version = 1"),
            SQLITE_OK);
  {
    HistoryStore store;
    ASSERT_TRUE(store.OpenForRecording(path_).ok());
    EXPECT_FALSE(store.read_only());
    EXPECT_EQ(store.Recent(10).value.size(), 4u);
    JobRecord job = SampleJob(5);
    ASSERT_TRUE(store.BeginJob(job).ok());
    job.result = JobResult::kStopped;
    ASSERT_TRUE(store.FinishJob(job).ok());
    EXPECT_EQ(store.CheckChain().value.rows_checked, 4);
  }
  // The migrated head notices the newest finished row going.
  ASSERT_EQ(RawSql(path_, "DELETE FROM jobs WHERE id = 5"), SQLITE_OK);
  EXPECT_EQ(Check().first_bad_row, 5);
}

TEST_F(HistoryStoreTest, ReadingChangesNothingAndNeedsNoWritableFolder) {
  HistoryStore reader;
  EXPECT_EQ(reader.OpenForReading(path_).kind, HistoryError::kMissing);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path_).parent_path()));

  WriteFourJobs();
  // The first layout, which recording would migrate.
  ASSERT_EQ(RawSql(path_, "DROP TABLE meta; DROP INDEX jobs_by_start; PRAGMA user_version = 1"),
            SQLITE_OK);
  // Nothing can be made beside the file: as on a read-only mount (the
  // folder's mode alone does not stop root, the blocked name does).
  const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  std::filesystem::create_directory(path_ + "-shm");
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  ASSERT_TRUE(reader.OpenForReading(path_).ok());
  EXPECT_EQ(reader.Recent(10).value.size(), 4u);
  const HistoryResult<ChainCheck> check = reader.CheckChain();
  ASSERT_TRUE(check.ok()) << check.error;
  EXPECT_EQ(check.value.rows_checked, 3);
  JobRecord job = SampleJob(5);
  EXPECT_FALSE(reader.BeginJob(job).ok());
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
  std::filesystem::remove(path_ + "-shm");

  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  sqlite3_stmt* version = nullptr;
  sqlite3_prepare_v2(raw, "PRAGMA user_version", -1, &version, nullptr);
  ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(version, 0), 1) << "reading migrated the file";
  sqlite3_finalize(version);
  sqlite3_close(raw);
}

// Damage the header does not show: the first page of the jobs table. A job
// that records finds it with its own statements, in the migration of an older
// layout or in its first write, and sets the file aside.
TEST_F(HistoryStoreTest, DamageFoundByAJobsOwnStatementsIsSetAside) {
  for (const bool older_layout : {true, false}) {
    std::filesystem::remove_all(std::filesystem::path(path_).parent_path());
    WriteFourJobs();
    if (older_layout) {
      ASSERT_EQ(RawSql(path_, "DROP TABLE meta; DROP INDEX jobs_by_start; PRAGMA user_version = 1"),
                SQLITE_OK);
    }
    ASSERT_EQ(RawSql(path_, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode = DELETE"),
              SQLITE_OK);
    {
      std::fstream file(path_, std::ios::binary | std::ios::in | std::ios::out);
      file.seekp(4096);  // page 2, the jobs table's root: its page type
      file.put('\xee');
    }
    HistoryStore store;
    ASSERT_TRUE(store.OpenForRecording(path_).ok());
    // The migration reads the damaged page; the newer layout's open does not.
    EXPECT_EQ(store.notice_kind() == HistoryNotice::kKeptAside, older_layout);
    JobRecord job = SampleJob(5);
    ASSERT_TRUE(store.BeginJob(job).ok()) << older_layout;
    EXPECT_EQ(store.notice_kind(), HistoryNotice::kKeptAside) << older_layout;
    EXPECT_TRUE(std::filesystem::exists(store.kept_aside_as())) << older_layout;
    EXPECT_EQ(store.Recent(10).value.size(), 1u) << older_layout;
  }
}

}  // namespace
}  // namespace vexo
