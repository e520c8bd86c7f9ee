// HistoryStore: the per-user SQLite file that keeps every download job. A row
// is written when the job starts (reading "interrupted"), updated at each phase
// change and finished with its chained digest, so nothing is lost however the
// process ends. Several processes may write at once (WAL, busy timeout). One
// thread at a time per store. Every failure is a returned kind and one-line
// reason; nothing is thrown and a failing history never stops a download.
// Opening to read never changes the file; only a job that records may create,
// migrate or set a damaged file aside.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "history/chain_head.h"
#include "history/job_record.h"
#include "history/job_selection.h"

struct sqlite3;

namespace vexo {

inline constexpr std::chrono::milliseconds kHistoryBusyTimeout{5000};
inline constexpr char kHistoryFileName[] = "history.sqlite3";
inline constexpr char kHistoryEnvironment[] = "VEXO_HISTORY";
inline constexpr char kCorruptSuffix[] = ".corrupt-";
inline constexpr int kDefaultRecentJobs = 20;

// VEXO_HISTORY when set, else $XDG_DATA_HOME/vexo/history.sqlite3, else
// ~/.local/share/vexo/history.sqlite3.
std::string DefaultHistoryPath();

// Why an open or a write failed, for hosts that act on it.
enum class HistoryError {
  kNone,
  kMissing,      // reading: there is no history file (nothing was recorded)
  kDamaged,      // SQLite found the file corrupt or not a database at all
  kBusy,         // another program held it beyond the busy timeout
  kUnavailable,  // anything else: permissions, the disk, a read-only file
};

struct HistoryStatus {
  HistoryError kind = HistoryError::kNone;
  std::string error;  // one line; empty when ok
  bool ok() const { return kind == HistoryError::kNone; }
};

template <typename T>
struct HistoryResult {
  T value{};
  std::string error;
  bool ok() const { return error.empty(); }
};

// What notice() is about, for hosts that word it in the user's language.
enum class HistoryNotice { kNone, kKeptAside, kNewerSchema, kReadOnlyFile };

struct ChainCheck {
  std::int64_t rows_checked = 0;
  std::int64_t first_bad_row = 0;  // 0 when intact, or when no one row is to blame
  std::string reason;              // why the chain is broken
  ChainHead head;                  // as far as the chain was walked
  bool intact() const { return reason.empty(); }
};

class HistoryStore {
 public:
  HistoryStore() = default;
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Opens read-only (SQLITE_OPEN_READONLY): never creates, migrates or sets
  // aside; kMissing when there is no file. Readable on a read-only mount or in
  // a folder the user cannot write. read_only() is then true.
  HistoryStatus OpenForReading(const std::string& path);
  // For a job that records: creates the file and its folders, migrates an
  // older schema. A file SQLite finds damaged, here or in any later write, is
  // renamed aside (path + ".corrupt-<UTC stamp>") and a fresh one started;
  // notice() then says so. A file from a newer program, or one that cannot
  // be written, opens read-only: read_only(), with notice().
  HistoryStatus OpenForRecording(const std::string& path,
                                 std::chrono::milliseconds busy_timeout = kHistoryBusyTimeout);
  bool is_open() const { return db_ != nullptr; }
  // How long a write waits for another writer from now on.
  void SetBusyTimeout(std::chrono::milliseconds busy_timeout);
  bool read_only() const { return read_only_; }
  const std::string& notice() const { return notice_; }
  HistoryNotice notice_kind() const { return notice_kind_; }
  const std::string& kept_aside_as() const { return kept_aside_as_; }  // kKeptAside
  const std::string& path() const { return path_; }

  // Readers that hold one batch of rows at a time (history_rows.cpp).
  // Rows chosen and ordered as selection says, each with its phases and
  // messages, in one read transaction; memory does not grow with the number
  // of rows. visit returns false to stop early.
  HistoryStatus ForEachJob(const JobSelection& selection,
                           const std::function<bool(const JobRecord&)>& visit);
  // count rows from offset without their phases; message_ids holds the last
  // message only.
  HistoryResult<std::vector<JobRecord>> JobPage(const JobSelection& selection, std::int64_t offset,
                                                int count);
  // One row with its phases and messages; an error when there is none.
  HistoryResult<JobRecord> Job(std::int64_t id);

  // Writes the row at once (result interrupted) and sets record.id.
  HistoryStatus BeginJob(JobRecord& record);
  // Rewrites the row, its phases and messages as they are now.
  HistoryStatus UpdateJob(const JobRecord& record);
  // Writes the final state and links the row into the chain, in one
  // transaction; sets ended_utc_ms (when still 0) and chain_hash, and the
  // head the chain reached with this row into *head when given.
  HistoryStatus FinishJob(JobRecord& record, ChainHead* head = nullptr);

  HistoryResult<std::vector<JobRecord>> Recent(int count);  // newest first
  HistoryResult<std::vector<JobRecord>> All();              // oldest first
  // Checks the whole file with SQLite (a damaged one is an error naming what
  // SQLite found), then walks the finished rows in the order they finished,
  // one at a time, checks every stored value's type and range and recomputes
  // every digest; names the first row (and column) altered or removed. With
  // expected, the chain must still pass through that head.
  HistoryResult<ChainCheck> CheckChain(const std::optional<ChainHead>& expected = std::nullopt);

 private:
  void Reset(const std::string& path);
  HistoryStatus OpenFile();
  HistoryStatus SetAsideAndReopen();
  HistoryStatus Migrate(int from_version);
  std::string Reason(const char* doing) const;
  HistoryStatus Failure(const char* doing) const;  // kind from the connection's last error
  HistoryStatus InsertJob(JobRecord& record);
  HistoryStatus LinkJob(JobRecord& record, ChainHead* head);
  HistoryStatus Writable() const;
  HistoryStatus WriteChildren(const JobRecord& record);
  HistoryStatus InTransaction(const char* doing, const std::function<HistoryStatus()>& work);
  HistoryResult<std::vector<JobRecord>> Query(const char* sql, std::int64_t limit);
  void Close();

  sqlite3* db_ = nullptr;
  std::string path_;
  bool recording_ = false;
  std::chrono::milliseconds busy_timeout_ = kHistoryBusyTimeout;
  std::optional<std::pair<std::uint64_t, std::uint64_t>> file_identity_;  // device, inode
  bool read_only_ = false;
  std::string read_only_reason_;
  std::string notice_;
  HistoryNotice notice_kind_ = HistoryNotice::kNone;
  std::string kept_aside_as_;
};

}  // namespace vexo
