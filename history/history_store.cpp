#include "history/history_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "history/history_schema.h"
#include "history/sqlite_statement.h"
#include "history/stored_job.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;

std::string UtcStamp() {
  return UtcNowText("%Y%m%dT%H%M%SZ");
}

// Moves a damaged file, and the journal files that belong to it, out of the
// way; returns the new name or empty with error set.
std::string SetAside(const std::string& path, std::string& error) {
  std::string aside = path + kCorruptSuffix + UtcStamp();
  for (int n = 2; fs::exists(aside); ++n)
    aside = path + kCorruptSuffix + UtcStamp() + "-" + std::to_string(n);
  std::error_code code;
  // A write-ahead log left beside would be replayed into the fresh file. The
  // journals go first: once the damaged file itself has gone, another process
  // may start the fresh one at once, and its journals must stay where they are.
  for (const char* journal : {"-wal", "-shm", "-journal"}) {
    if (fs::exists(path + journal)) fs::rename(path + journal, aside + journal, code);
  }
  fs::rename(path, aside, code);
  if (code) {
    error = "cannot move the damaged history file " + path + " aside: " + code.message();
    return {};
  }
  return aside;
}

std::string HomeDataDirectory() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') return xdg;
  std::string home;
  if (const char* variable = std::getenv("HOME"); variable && *variable)
    home = variable;
  else if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir)
    home = entry->pw_dir;
  return (home.empty() ? std::string(".") : home) + "/.local/share";
}

// An exclusive advisory lock on a folder for as long as it lives; without
// one (the folder cannot be opened) it simply does not lock.
class FolderLock {
 public:
  explicit FolderLock(const fs::path& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

std::optional<std::pair<std::uint64_t, std::uint64_t>> FileIdentity(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return std::pair<std::uint64_t, std::uint64_t>(status.st_dev, status.st_ino);
}

// The file as a URI that SQLite reads without locks or a shared-memory file.
std::string ImmutableUri(const std::string& path) {
  std::string uri = "file:";
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static constexpr char kHex[] = "0123456789abcdef";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[c & 0xF];
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

}  // namespace

std::string DefaultHistoryPath() {
  if (const char* chosen = std::getenv(kHistoryEnvironment); chosen && *chosen) return chosen;
  return HomeDataDirectory() + "/vexo/" + kHistoryFileName;
}

HistoryStore::~HistoryStore() {
  Close();
}

void HistoryStore::SetBusyTimeout(std::chrono::milliseconds busy_timeout) {
  if (db_) sqlite3_busy_timeout(db_, static_cast<int>(busy_timeout.count()));
}

void HistoryStore::Close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  read_only_ = false;
  read_only_reason_.clear();
}

void HistoryStore::Reset(const std::string& path) {
  Close();
  path_ = path;
  file_identity_.reset();
  notice_.clear();
  notice_kind_ = HistoryNotice::kNone;
  kept_aside_as_.clear();
}

std::string HistoryStore::Reason(const char* doing) const {
  std::string reason =
      std::string(doing) + " " + path_ + ": " + (db_ ? sqlite3_errmsg(db_) : "not open");
  if (db_ && (sqlite3_errcode(db_) & 0xFF) == SQLITE_BUSY) reason += " (another program holds it)";
  return reason;
}

HistoryStatus HistoryStore::Failure(const char* doing) const {
  const int code = db_ ? sqlite3_errcode(db_) : SQLITE_CANTOPEN;
  if (IsCorruptionCode(code)) {
    return {HistoryError::kDamaged, "the history file " + path_ + " is damaged: SQLite said \"" +
                                        sqlite3_errmsg(db_) + "\" (" + doing + ")"};
  }
  const HistoryError kind =
      (code & 0xFF) == SQLITE_BUSY ? HistoryError::kBusy : HistoryError::kUnavailable;
  return {kind, Reason(doing)};
}

HistoryStatus HistoryStore::OpenForReading(const std::string& path) {
  Reset(path);
  recording_ = false;
  std::error_code missing;
  if (!fs::exists(path, missing)) return {HistoryError::kMissing, "no history at " + path};
  // A file in WAL mode needs its shared-memory file beside it; where that
  // cannot be made (a read-only mount, a folder of another user) no one can
  // be writing, and the file is read as it lies on disk.
  for (const bool immutable : {false, true}) {
    const std::string name = immutable ? ImmutableUri(path) : path;
    const int flags =
        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | (immutable ? SQLITE_OPEN_URI : 0);
    sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (db_) {
      sqlite3_extended_result_codes(db_, 1);
      sqlite3_busy_timeout(db_, static_cast<int>(kHistoryBusyTimeout.count()));
    }
    SqlStatement read(db_, "PRAGMA user_version");
    if (db_ && read.Step() == SQLITE_ROW) {
      read_only_ = true;
      read_only_reason_ = "the history " + path + " is open for reading only";
      // Worth knowing while looking: no job of this program is recorded in it.
      if (read.Int(0) > kHistorySchemaVersion) {
        notice_ = "the history file " + path + " was written by a newer VEXO; jobs are not " +
                  "recorded in it";
        notice_kind_ = HistoryNotice::kNewerSchema;
      }
      return {};
    }
    const HistoryStatus failed = Failure("cannot read");
    const int primary = db_ ? sqlite3_errcode(db_) & 0xFF : SQLITE_CANTOPEN;
    Close();
    if (immutable || (primary != SQLITE_CANTOPEN && primary != SQLITE_READONLY)) return failed;
  }
  return {HistoryError::kUnavailable, "cannot read " + path};
}

HistoryStatus HistoryStore::OpenForRecording(const std::string& path,
                                             std::chrono::milliseconds busy_timeout) {
  Reset(path);
  recording_ = true;
  busy_timeout_ = busy_timeout;
  const fs::path folder = fs::path(path).parent_path();
  std::error_code code;
  if (!folder.empty()) fs::create_directories(folder, code);
  if (code) {
    return {HistoryError::kUnavailable,
            "cannot create the history folder " + folder.string() + ": " + code.message()};
  }
  const HistoryStatus opened = OpenFile();
  if (opened.kind == HistoryError::kDamaged) return SetAsideAndReopen();
  return opened;
}

HistoryStatus HistoryStore::SetAsideAndReopen() {
  const fs::path folder = fs::path(path_).parent_path();
  const auto damaged = file_identity_;
  Close();
  {
    // Several processes may find the damage at once: one sets the file
    // aside, the others find that it has been replaced already.
    const FolderLock lock(folder.empty() ? fs::path(".") : folder);
    // Unless the file at the path is the very one found damaged, another
    // process has set it aside already; a file of unknown identity is left
    // alone, since setting aside a sound one would lose its jobs.
    const auto now = FileIdentity(path_);
    if (now && damaged && now == damaged) {
      std::string error;
      const std::string aside = SetAside(path_, error);
      if (aside.empty()) return {HistoryError::kUnavailable, error};
      notice_ = "the history file " + path_ + " was damaged; it is kept as " + aside +
                " and a new one was started";
      notice_kind_ = HistoryNotice::kKeptAside;
      kept_aside_as_ = aside;
    }
  }
  return OpenFile();
}

// No whole-file check here: its cost grows with the history, and every job
// start pays it. A damaged page is found by the statements that touch it,
// and the write that finds it sets the file aside.
HistoryStatus HistoryStore::OpenFile() {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  // Taken before opening: should another process set the file aside in
  // between, the identity is of the file that is gone, never of its
  // successor, so damage found here cannot put a sound file aside.
  const auto identity = FileIdentity(path_);
  if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const HistoryStatus failed = Failure("cannot open");
    Close();
    return failed;
  }
  file_identity_ = identity;
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, static_cast<int>(busy_timeout_.count()));

  int version = 0;
  {
    SqlStatement read(db_, "PRAGMA user_version");
    if (read.Step() != SQLITE_ROW) {
      const HistoryStatus failed = Failure("cannot read");
      Close();
      return failed;
    }
    version = static_cast<int>(read.Int(0));
  }
  if (sqlite3_db_readonly(db_, "main") == 1) {
    read_only_ = true;
    read_only_reason_ = "the history file " + path_ + " cannot be written (read-only)";
    notice_ = read_only_reason_;
    notice_kind_ = HistoryNotice::kReadOnlyFile;
    return {};
  }
  if (version > kHistorySchemaVersion) {
    read_only_ = true;
    read_only_reason_ = "the history file " + path_ + " was written by a newer VEXO (schema " +
                        std::to_string(version) + ", this one knows " +
                        std::to_string(kHistorySchemaVersion) + "); it is read-only here";
    notice_ = read_only_reason_;
    notice_kind_ = HistoryNotice::kNewerSchema;
    return {};
  }
  // Persistent in the file; a failure here leaves the rollback journal,
  // which is slower under concurrent writers but still correct.
  ExecSql(db_, "PRAGMA journal_mode=WAL");
  ExecSql(db_, "PRAGMA foreign_keys=ON");
  if (version < kHistorySchemaVersion) {
    const HistoryStatus migrated = Migrate(version);
    if (!migrated.ok()) {
      Close();
      return migrated;
    }
  }
  return {};
}

HistoryStatus HistoryStore::InTransaction(const char* doing,
                                          const std::function<HistoryStatus()>& work) {
  // IMMEDIATE takes the write lock up front, so the busy timeout applies
  // here rather than failing half-way through.
  if (ExecSql(db_, "BEGIN IMMEDIATE") != SQLITE_OK) return Failure(doing);
  // Each failure carries its kind from the moment it happened: the ROLLBACK
  // below replaces the connection's last error.
  HistoryStatus status = work();
  if (status.ok() && ExecSql(db_, "COMMIT") != SQLITE_OK) status = Failure(doing);
  if (!status.ok()) ExecSql(db_, "ROLLBACK");
  return status;
}

HistoryStatus HistoryStore::Migrate(int from_version) {
  return InTransaction("cannot update the layout of", [&]() -> HistoryStatus {
    // Another process may have migrated since the version was read.
    SqlStatement read(db_, "PRAGMA user_version");
    if (read.Step() != SQLITE_ROW) return Failure("cannot read");
    const int version = std::max(from_version, static_cast<int>(read.Int(0)));
    if (version >= kHistorySchemaVersion) return {};  // never step a newer layout back
    for (const SchemaStep& step : kSchemaSteps) {
      if (step.version <= version) continue;
      if (ExecSql(db_, step.sql) != SQLITE_OK) return Failure("cannot update the layout of");
    }
    const std::string set = "PRAGMA user_version=" + std::to_string(kHistorySchemaVersion);
    if (ExecSql(db_, set.c_str()) != SQLITE_OK) return Failure("cannot update the layout of");
    return {};
  });
}

HistoryStatus HistoryStore::Writable() const {
  if (!db_)
    return {HistoryError::kUnavailable,
            "the history is not open" + (path_.empty() ? "" : ": " + path_)};
  if (read_only_) return {HistoryError::kUnavailable, read_only_reason_};
  return {};
}

HistoryStatus HistoryStore::WriteChildren(const JobRecord& record) {
  SqlStatement drop_phases(db_, "DELETE FROM phases WHERE job_id = :id");
  SqlStatement drop_messages(db_, "DELETE FROM messages WHERE job_id = :id");
  drop_phases.Bind(":id", record.id);
  drop_messages.Bind(":id", record.id);
  if (drop_phases.Step() != SQLITE_DONE || drop_messages.Step() != SQLITE_DONE)
    return Failure("cannot write to");
  SqlStatement phase(db_, InsertPhaseSql().c_str());
  for (std::size_t i = 0; i < record.phases.size(); ++i) {
    phase.Reset();
    BindPhase(phase, record.id, static_cast<std::int64_t>(i), record.phases[i]);
    if (phase.Step() != SQLITE_DONE) return Failure("cannot write to");
  }
  SqlStatement message(db_,
                       "INSERT INTO messages (job_id, seq, text_id) VALUES (:id, :seq, :text_id)");
  for (std::size_t i = 0; i < record.message_ids.size(); ++i) {
    message.Reset();
    message.Bind(":id", record.id);
    message.Bind(":seq", static_cast<std::int64_t>(i));
    message.Bind(":text_id", record.message_ids[i]);
    if (message.Step() != SQLITE_DONE) return Failure("cannot write to");
  }
  return {};
}

HistoryStatus HistoryStore::InsertJob(JobRecord& record) {
  return InTransaction("cannot write to", [&]() -> HistoryStatus {
    SqlStatement insert(db_, InsertJobSql(InsertedColumns::kJobValues).c_str());
    BindJob(insert, record);
    if (insert.Step() != SQLITE_DONE) return Failure("cannot write to");
    record.id = sqlite3_last_insert_rowid(db_);
    return WriteChildren(record);
  });
}

HistoryStatus HistoryStore::BeginJob(JobRecord& record) {
  if (HistoryStatus status = Writable(); !status.ok()) return status;
  record.result = JobResult::kInterrupted;
  record.chain_hash.clear();
  HistoryStatus status = InsertJob(record);
  if (status.kind == HistoryError::kDamaged && recording_) {
    if (HistoryStatus reopened = SetAsideAndReopen(); !reopened.ok()) return reopened;
    if (HistoryStatus writable = Writable(); !writable.ok()) return writable;
    status = InsertJob(record);
  }
  return status;
}

HistoryStatus HistoryStore::UpdateJob(const JobRecord& record) {
  if (HistoryStatus status = Writable(); !status.ok()) return status;
  return InTransaction("cannot write to", [&]() -> HistoryStatus {
    SqlStatement update(db_, UpdateOpenJobSql().c_str());
    BindJob(update, record);
    if (update.Step() != SQLITE_DONE) return Failure("cannot write to");
    if (sqlite3_changes(db_) != 1)
      return {HistoryError::kUnavailable,
              "job #" + std::to_string(record.id) + " is not an open row of " + path_};
    return WriteChildren(record);
  });
}

HistoryStatus HistoryStore::FinishJob(JobRecord& record, ChainHead* head) {
  if (HistoryStatus status = Writable(); !status.ok()) return status;
  if (record.ended_utc_ms == 0) record.ended_utc_ms = NowUtcMs();
  HistoryStatus status = LinkJob(record, head);
  if (status.kind == HistoryError::kDamaged && recording_) {
    // The job's row went with the damaged file: the fresh one gets it whole.
    if (HistoryStatus reopened = SetAsideAndReopen(); !reopened.ok()) return reopened;
    if (HistoryStatus writable = Writable(); !writable.ok()) return writable;
    status = InsertJob(record);
    if (status.ok()) status = LinkJob(record, head);
  }
  return status;
}

HistoryStatus HistoryStore::LinkJob(JobRecord& record, ChainHead* head) {
  return InTransaction("cannot write to", [&]() -> HistoryStatus {
    ChainLink link;
    {
      SqlStatement chain_head(db_, kChainHeadQuery);
      if (chain_head.Step() != SQLITE_ROW) return Failure("cannot read");
      link.seq = chain_head.Int(0) + 1;
      link.prev_id = chain_head.Int(1);
    }
    {
      SqlStatement previous(db_, "SELECT chain_hash FROM jobs WHERE id = :id");
      previous.Bind(":id", link.prev_id);
      if (previous.Step() == SQLITE_ROW) link.prev_hash = previous.Bytes(0);
    }
    SqlStatement update(db_, UpdateOpenJobSql().c_str());
    BindJob(update, record);
    update.Bind(":chain_seq", link.seq);
    update.Bind(":chain_prev_id", link.prev_id);
    if (update.Step() != SQLITE_DONE) return Failure("cannot write to");
    if (sqlite3_changes(db_) != 1)
      return {HistoryError::kUnavailable,
              "job #" + std::to_string(record.id) + " is not an open row of " + path_};
    if (HistoryStatus children = WriteChildren(record); !children.ok()) return children;
    // The digest covers the row as SQLite now holds it, read back.
    std::string digest;
    {
      const std::string sql = "SELECT " + JobColumnsSql() + " FROM jobs WHERE id = :id";
      SqlStatement row(db_, sql.c_str());
      row.Bind(":id", record.id);
      if (row.Step() != SQLITE_ROW) return Failure("cannot read");
      std::string content;
      std::string out_of_domain;
      if (StoredContentReader(db_).Read(row, content, out_of_domain) != SQLITE_DONE)
        return Failure("cannot read");
      digest = ExactChainDigest(link, content);
    }
    record.chain_hash = kExactDigestMarker + digest;
    SqlStatement hash(db_, "UPDATE jobs SET chain_hash = :hash WHERE id = :id");
    hash.Bind(":hash", record.chain_hash);
    hash.Bind(":id", record.id);
    if (hash.Step() != SQLITE_DONE) return Failure("cannot write to");
    SqlStatement meta(db_,
                      "INSERT OR REPLACE INTO meta (key, value) VALUES ('chain_length', :seq), "
                      "('chain_head_id', :id)");
    meta.Bind(":seq", link.seq);
    meta.Bind(":id", record.id);
    if (meta.Step() != SQLITE_DONE) return Failure("cannot write to");
    if (head) *head = {link.seq, digest};
    return {};
  });
}

HistoryResult<std::vector<JobRecord>> HistoryStore::Query(const char* order, std::int64_t limit) {
  HistoryResult<std::vector<JobRecord>> result;
  if (!db_) {
    result.error = Writable().error;
    return result;
  }
  const std::string sql = "SELECT " + JobColumnsSql() + " FROM jobs " + order + " LIMIT :limit";
  std::vector<StoredJob> jobs;
  // One read transaction, so that rows and their children agree.
  ExecSql(db_, "BEGIN");
  SqlStatement select(db_, sql.c_str());
  select.Bind(":limit", limit);
  int step;
  while ((step = select.Step()) == SQLITE_ROW) jobs.push_back(ReadJob(select));
  const bool read = step == SQLITE_DONE && ReadChildren(db_, jobs);
  if (!read) result.error = Failure("cannot read").error;
  ExecSql(db_, "COMMIT");
  for (StoredJob& job : jobs) result.value.push_back(std::move(job.record));
  return result;
}

HistoryResult<std::vector<JobRecord>> HistoryStore::Recent(int count) {
  return Query("ORDER BY id DESC", count < 0 ? 0 : count);
}

HistoryResult<std::vector<JobRecord>> HistoryStore::All() {
  return Query("ORDER BY id", -1);
}

}  // namespace vexo
