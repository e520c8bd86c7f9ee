#include "history/history_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/file.h>
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

constexpr char kInsertJob[] =
    "INSERT INTO jobs (started_utc_ms, ended_utc_ms, program, program_version, user_name, "
    "host_name, port_chosen, port_device, usb_vid_pid, usb_product, usb_serial, usb_path, "
    "requested_baud, used_baud, model, mode, firmware_path, firmware_size, firmware_sha256, "
    "record_count, lowest_address, highest_address, identity_hex, pages_compared, "
    "first_difference, result, closing_confirmed, downing_declined, exit_status) VALUES "
    "(:started_utc_ms, :ended_utc_ms, :program, :program_version, :user_name, :host_name, "
    ":port_chosen, :port_device, :usb_vid_pid, :usb_product, :usb_serial, :usb_path, "
    ":requested_baud, :used_baud, :model, :mode, :firmware_path, :firmware_size, "
    ":firmware_sha256, :record_count, :lowest_address, :highest_address, :identity_hex, "
    ":pages_compared, :first_difference, :result, :closing_confirmed, :downing_declined, "
    ":exit_status)";

// Only rows not yet chained may change: a finished row is history.
constexpr char kUpdateJob[] =
    "UPDATE jobs SET started_utc_ms = :started_utc_ms, ended_utc_ms = :ended_utc_ms, "
    "program = :program, program_version = :program_version, user_name = :user_name, "
    "host_name = :host_name, port_chosen = :port_chosen, port_device = :port_device, "
    "usb_vid_pid = :usb_vid_pid, usb_product = :usb_product, usb_serial = :usb_serial, "
    "usb_path = :usb_path, requested_baud = :requested_baud, used_baud = :used_baud, "
    "model = :model, mode = :mode, firmware_path = :firmware_path, "
    "firmware_size = :firmware_size, firmware_sha256 = :firmware_sha256, "
    "record_count = :record_count, lowest_address = :lowest_address, "
    "highest_address = :highest_address, identity_hex = :identity_hex, "
    "pages_compared = :pages_compared, first_difference = :first_difference, "
    "result = :result, closing_confirmed = :closing_confirmed, "
    "downing_declined = :downing_declined, exit_status = :exit_status, "
    "chain_seq = :chain_seq, chain_prev_id = :chain_prev_id, chain_hash = :chain_hash "
    "WHERE id = :id AND chain_seq IS NULL";

void BindJob(SqlStatement& statement, const JobRecord& r) {
  statement.Bind(":id", r.id);
  statement.Bind(":started_utc_ms", r.started_utc_ms);
  statement.Bind(":ended_utc_ms", r.ended_utc_ms);
  statement.Bind(":program", std::string(JobProgramText(r.program)));
  statement.Bind(":program_version", r.program_version);
  statement.Bind(":user_name", r.user_name);
  statement.Bind(":host_name", r.host_name);
  statement.Bind(":port_chosen", r.port_chosen);
  statement.Bind(":port_device", r.port_device);
  statement.Bind(":usb_vid_pid", r.usb_vid_pid);
  statement.Bind(":usb_product", r.usb_product);
  statement.Bind(":usb_serial", r.usb_serial);
  statement.Bind(":usb_path", r.usb_path);
  statement.Bind(":requested_baud", r.requested_baud);
  statement.Bind(":used_baud", r.used_baud);
  statement.Bind(":model", r.model);
  statement.Bind(":mode", std::string(JobModeText(r.mode)));
  statement.Bind(":firmware_path", r.firmware_path);
  statement.Bind(":firmware_size", static_cast<std::int64_t>(r.firmware_size));
  statement.Bind(":firmware_sha256", r.firmware_sha256);
  statement.Bind(":record_count", r.record_count);
  statement.Bind(":lowest_address", static_cast<std::int64_t>(r.lowest_address));
  statement.Bind(":highest_address", static_cast<std::int64_t>(r.highest_address));
  statement.Bind(":identity_hex", r.identity_hex);
  statement.Bind(":pages_compared", r.pages_compared);
  if (r.first_difference)
    statement.Bind(":first_difference", static_cast<std::int64_t>(*r.first_difference));
  else
    statement.BindNull(":first_difference");
  statement.Bind(":result", std::string(JobResultText(r.result)));
  statement.Bind(":closing_confirmed", r.closing_confirmed ? 1 : 0);
  statement.Bind(":downing_declined", r.downing_declined ? 1 : 0);
  statement.Bind(":exit_status", r.exit_status);
  statement.BindNull(":chain_seq");
  statement.BindNull(":chain_prev_id");
  statement.BindNull(":chain_hash");
}

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
  fs::rename(path, aside, code);
  if (code) {
    error = "cannot move the damaged history file " + path + " aside: " + code.message();
    return {};
  }
  // A write-ahead log left beside would be replayed into the fresh file.
  for (const char* journal : {"-wal", "-shm", "-journal"}) {
    if (fs::exists(path + journal)) fs::rename(path + journal, aside + journal, code);
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

std::string HistoryStore::Reason(const char* doing) const {
  std::string reason =
      std::string(doing) + " " + path_ + ": " + (db_ ? sqlite3_errmsg(db_) : "not open");
  if (db_ && (sqlite3_errcode(db_) & 0xFF) == SQLITE_BUSY) reason += " (another program holds it)";
  return reason;
}

HistoryStatus HistoryStore::Open(const std::string& path, std::chrono::milliseconds busy_timeout) {
  Close();
  path_ = path;
  notice_.clear();
  notice_kind_ = HistoryNotice::kNone;
  kept_aside_as_.clear();
  const fs::path folder = fs::path(path).parent_path();
  std::error_code code;
  if (!folder.empty()) fs::create_directories(folder, code);
  if (code) return {"cannot create the history folder " + folder.string() + ": " + code.message()};

  std::string error;
  OpenOutcome outcome = OpenFile(busy_timeout, error);
  if (outcome == OpenOutcome::kCorrupt) {
    Close();
    // Only one process sets the file aside: the others wait here and then
    // find the fresh one.
    const FolderLock lock(folder.empty() ? fs::path(".") : folder);
    outcome = OpenFile(busy_timeout, error);
    if (outcome != OpenOutcome::kCorrupt) return Finished(outcome, error);
    Close();
    const std::string aside = SetAside(path, error);
    if (aside.empty()) return {error};
    notice_ = "the history file " + path + " was damaged; it is kept as " + aside +
              " and a new one was started";
    notice_kind_ = HistoryNotice::kKeptAside;
    kept_aside_as_ = aside;
    return Finished(OpenFile(busy_timeout, error), error);
  }
  return Finished(outcome, error);
}

HistoryStatus HistoryStore::Finished(OpenOutcome outcome, const std::string& error) {
  if (outcome == OpenOutcome::kOpen) return {};
  Close();
  return {error};
}

HistoryStore::OpenOutcome HistoryStore::OpenFile(std::chrono::milliseconds busy_timeout,
                                                 std::string& error) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    error = Reason("cannot open");
    return OpenOutcome::kFailed;
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, static_cast<int>(busy_timeout.count()));

  int version = 0;
  {
    SqlStatement read(db_, "PRAGMA user_version");
    const int step = read.Step();
    if (step != SQLITE_ROW) {
      error = Reason("cannot read");
      return IsCorruptionCode(step) ? OpenOutcome::kCorrupt : OpenOutcome::kFailed;
    }
    version = static_cast<int>(read.Int(0));
  }
  {
    SqlStatement check(db_, "PRAGMA quick_check");
    const int step = check.Step();
    if (IsCorruptionCode(step) || (step == SQLITE_ROW && check.Text(0) != "ok")) {
      error = "the history file " + path_ + " is damaged";
      return OpenOutcome::kCorrupt;
    }
  }

  if (sqlite3_db_readonly(db_, "main") == 1) {
    read_only_ = true;
    read_only_reason_ = "the history file " + path_ + " cannot be written (read-only)";
    notice_ = read_only_reason_;
    notice_kind_ = HistoryNotice::kReadOnlyFile;
    return OpenOutcome::kOpen;
  }
  if (version > kHistorySchemaVersion) {
    read_only_ = true;
    read_only_reason_ = "the history file " + path_ + " was written by a newer VEXO (schema " +
                        std::to_string(version) + ", this one knows " +
                        std::to_string(kHistorySchemaVersion) + "); it is read-only here";
    notice_ = read_only_reason_;
    notice_kind_ = HistoryNotice::kNewerSchema;
    return OpenOutcome::kOpen;
  }
  // Persistent in the file; a failure here leaves the rollback journal,
  // which is slower under concurrent writers but still correct.
  ExecSql(db_, "PRAGMA journal_mode=WAL");
  ExecSql(db_, "PRAGMA foreign_keys=ON");
  if (version < kHistorySchemaVersion) {
    const HistoryStatus migrated = Migrate(version);
    if (!migrated.ok()) {
      error = migrated.error;
      return IsCorruptionCode(sqlite3_errcode(db_)) ? OpenOutcome::kCorrupt : OpenOutcome::kFailed;
    }
  }
  return OpenOutcome::kOpen;
}

HistoryStatus HistoryStore::InTransaction(const char* doing,
                                          const std::function<HistoryStatus()>& work) {
  // IMMEDIATE takes the write lock up front, so the busy timeout applies
  // here rather than failing half-way through.
  if (ExecSql(db_, "BEGIN IMMEDIATE") != SQLITE_OK) return {Reason(doing)};
  HistoryStatus status = work();
  if (status.ok() && ExecSql(db_, "COMMIT") != SQLITE_OK) status = {Reason(doing)};
  if (!status.ok()) ExecSql(db_, "ROLLBACK");
  return status;
}

HistoryStatus HistoryStore::Migrate(int from_version) {
  return InTransaction("cannot update the layout of", [&]() -> HistoryStatus {
    // Another process may have migrated since the version was read.
    SqlStatement read(db_, "PRAGMA user_version");
    if (read.Step() != SQLITE_ROW) return {Reason("cannot read")};
    const int version = std::max(from_version, static_cast<int>(read.Int(0)));
    if (version >= kHistorySchemaVersion) return {};  // never step a newer layout back
    for (const SchemaStep& step : kSchemaSteps) {
      if (step.version <= version) continue;
      if (ExecSql(db_, step.sql) != SQLITE_OK) return {Reason("cannot update the layout of")};
    }
    const std::string set = "PRAGMA user_version=" + std::to_string(kHistorySchemaVersion);
    if (ExecSql(db_, set.c_str()) != SQLITE_OK) return {Reason("cannot update the layout of")};
    return {};
  });
}

HistoryStatus HistoryStore::Writable() const {
  if (!db_) return {"the history is not open" + (path_.empty() ? "" : ": " + path_)};
  if (read_only_) return {read_only_reason_};
  return {};
}

HistoryStatus HistoryStore::WriteChildren(const JobRecord& record) {
  SqlStatement drop_phases(db_, "DELETE FROM phases WHERE job_id = :id");
  SqlStatement drop_messages(db_, "DELETE FROM messages WHERE job_id = :id");
  drop_phases.Bind(":id", record.id);
  drop_messages.Bind(":id", record.id);
  if (drop_phases.Step() != SQLITE_DONE || drop_messages.Step() != SQLITE_DONE)
    return {Reason("cannot write to")};
  SqlStatement phase(db_,
                     "INSERT INTO phases (job_id, seq, name, started_utc_ms, duration_ms, retries, "
                     "bytes_sent, bytes_received) VALUES (:id, :seq, :name, :started, :duration, "
                     ":retries, :sent, :received)");
  for (std::size_t i = 0; i < record.phases.size(); ++i) {
    const PhaseRecord& p = record.phases[i];
    phase.Reset();
    phase.Bind(":id", record.id);
    phase.Bind(":seq", static_cast<std::int64_t>(i));
    phase.Bind(":name", p.name);
    phase.Bind(":started", p.started_utc_ms);
    phase.Bind(":duration", p.duration_ms);
    phase.Bind(":retries", p.retries);
    phase.Bind(":sent", static_cast<std::int64_t>(p.bytes_sent));
    phase.Bind(":received", static_cast<std::int64_t>(p.bytes_received));
    if (phase.Step() != SQLITE_DONE) return {Reason("cannot write to")};
  }
  SqlStatement message(db_,
                       "INSERT INTO messages (job_id, seq, text_id) VALUES (:id, :seq, :text_id)");
  for (std::size_t i = 0; i < record.message_ids.size(); ++i) {
    message.Reset();
    message.Bind(":id", record.id);
    message.Bind(":seq", static_cast<std::int64_t>(i));
    message.Bind(":text_id", record.message_ids[i]);
    if (message.Step() != SQLITE_DONE) return {Reason("cannot write to")};
  }
  return {};
}

HistoryStatus HistoryStore::BeginJob(JobRecord& record) {
  if (HistoryStatus status = Writable(); !status.ok()) return status;
  record.result = JobResult::kInterrupted;
  record.chain_hash.clear();
  return InTransaction("cannot write to", [&]() -> HistoryStatus {
    SqlStatement insert(db_, kInsertJob);
    BindJob(insert, record);
    if (insert.Step() != SQLITE_DONE) return {Reason("cannot write to")};
    record.id = sqlite3_last_insert_rowid(db_);
    return WriteChildren(record);
  });
}

HistoryStatus HistoryStore::UpdateJob(const JobRecord& record) {
  if (HistoryStatus status = Writable(); !status.ok()) return status;
  return InTransaction("cannot write to", [&]() -> HistoryStatus {
    SqlStatement update(db_, kUpdateJob);
    BindJob(update, record);
    if (update.Step() != SQLITE_DONE) return {Reason("cannot write to")};
    if (sqlite3_changes(db_) != 1)
      return {"job #" + std::to_string(record.id) + " is not an open row of " + path_};
    return WriteChildren(record);
  });
}

HistoryStatus HistoryStore::FinishJob(JobRecord& record) {
  if (HistoryStatus status = Writable(); !status.ok()) return status;
  if (record.ended_utc_ms == 0) record.ended_utc_ms = NowUtcMs();
  return InTransaction("cannot write to", [&]() -> HistoryStatus {
    ChainLink link;
    {
      SqlStatement head(db_, kChainHeadQuery);
      if (head.Step() != SQLITE_ROW) return {Reason("cannot read")};
      link.seq = head.Int(0) + 1;
      link.prev_id = head.Int(1);
    }
    {
      SqlStatement previous(db_, "SELECT chain_hash FROM jobs WHERE id = :id");
      previous.Bind(":id", link.prev_id);
      if (previous.Step() == SQLITE_ROW) link.prev_hash = previous.Text(0);
    }
    record.chain_hash = ChainDigest(link, record);
    SqlStatement update(db_, kUpdateJob);
    BindJob(update, record);
    update.Bind(":chain_seq", link.seq);
    update.Bind(":chain_prev_id", link.prev_id);
    update.Bind(":chain_hash", record.chain_hash);
    if (update.Step() != SQLITE_DONE) return {Reason("cannot write to")};
    if (sqlite3_changes(db_) != 1)
      return {"job #" + std::to_string(record.id) + " is not an open row of " + path_};
    if (HistoryStatus children = WriteChildren(record); !children.ok()) return children;
    SqlStatement head(db_,
                      "INSERT OR REPLACE INTO meta (key, value) VALUES ('chain_length', :seq), "
                      "('chain_head_id', :id)");
    head.Bind(":seq", link.seq);
    head.Bind(":id", record.id);
    if (head.Step() != SQLITE_DONE) return {Reason("cannot write to")};
    return {};
  });
}

HistoryResult<std::vector<JobRecord>> HistoryStore::Query(const char* order, std::int64_t limit) {
  HistoryResult<std::vector<JobRecord>> result;
  if (!db_) {
    result.error = Writable().error;
    return result;
  }
  const std::string sql =
      std::string("SELECT ") + kJobColumns + " FROM jobs " + order + " LIMIT :limit";
  std::vector<StoredJob> jobs;
  // One read transaction, so that rows and their children agree.
  ExecSql(db_, "BEGIN");
  SqlStatement select(db_, sql.c_str());
  select.Bind(":limit", limit);
  int step;
  while ((step = select.Step()) == SQLITE_ROW) jobs.push_back(ReadJob(select));
  const bool read = step == SQLITE_DONE && ReadChildren(db_, jobs);
  if (!read) result.error = Reason("cannot read");
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
