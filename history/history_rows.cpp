// HistoryStore's readers that do not hold the whole history: rows walked one
// batch at a time for exports, pages for the History dialog and one row by
// its id, with sorting and filtering done in SQL.
#include <sqlite3.h>

#include "history/history_store.h"
#include "history/stored_job.h"

namespace vexo {
namespace {

// Rows whose phases and messages are read together before they are handed on.
constexpr std::size_t kChildrenBatch = 256;

// The firmware file's name: the path less everything up to its last '/'.
constexpr char kFileNameSql[] =
    "replace(firmware_path, rtrim(firmware_path, replace(firmware_path, '/', '')), '')";
constexpr char kLastMessageSql[] =
    "COALESCE((SELECT text_id FROM messages WHERE job_id = jobs.id ORDER BY seq DESC LIMIT 1), 0)";

std::string SortSql(JobSortKey key) {
  switch (key) {
    case JobSortKey::kId:
      return "id";
    case JobSortKey::kStarted:
      return "started_utc_ms";
    case JobSortKey::kPort:
      return "port_chosen";
    case JobSortKey::kSerial:
      return "usb_serial";
    case JobSortKey::kFileName:
      return kFileNameSql;
    case JobSortKey::kMode:
      return "mode";
    case JobSortKey::kResult:
      return "result";
    case JobSortKey::kDuration:
      return "CASE WHEN ended_utc_ms > 0 THEN ended_utc_ms - started_utc_ms ELSE 0 END";
    case JobSortKey::kLastMessage:
      return kLastMessageSql;
  }
  return "id";
}

std::string WhereSql(const JobSelection& selection) {
  if (selection.contains.empty()) return {};
  constexpr const char* kFilteredColumns[] = {"port_chosen",   "port_device",     "usb_serial",
                                              "firmware_path", "firmware_sha256", "mode",
                                              "result"};
  std::string where;
  for (const char* column : kFilteredColumns) {
    where += where.empty() ? " WHERE (" : " OR ";
    where += std::string(column) + " LIKE :pattern ESCAPE '\\'";
  }
  for (JobResult result : selection.results_also_matching)
    where += " OR result = '" + std::string(JobResultText(result)) + "'";
  return where + ")";
}

// The filter as a LIKE pattern: its own '%', '_' and '\' taken literally.
std::string LikePattern(const std::string& contains) {
  std::string pattern = "%";
  for (char c : contains) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

std::string SelectSql(const JobSelection& selection, const char* extra_columns) {
  const char* direction = selection.direction == SortDirection::kDescending ? " DESC" : "";
  return "SELECT " + JobColumnsSql() + extra_columns + " FROM jobs" + WhereSql(selection) +
         " ORDER BY " + SortSql(selection.sort) + direction + ", id" + direction +
         " LIMIT :limit OFFSET :offset";
}

void BindSelection(SqlStatement& select, const JobSelection& selection, std::int64_t offset,
                   std::int64_t limit) {
  if (!selection.contains.empty()) select.Bind(":pattern", LikePattern(selection.contains));
  select.Bind(":offset", offset);
  select.Bind(":limit", limit);
}

}  // namespace

HistoryStatus HistoryStore::ForEachJob(const JobSelection& selection,
                                       const std::function<bool(const JobRecord&)>& visit) {
  if (!db_) return Writable();
  // One read transaction, so that rows and their children agree.
  ExecSql(db_, "BEGIN");
  const std::string sql = SelectSql(selection, "");
  SqlStatement select(db_, sql.c_str());
  BindSelection(select, selection, 0, -1);
  std::vector<StoredJob> batch;
  HistoryStatus status;
  bool more = true;
  while (more) {
    int step = SQLITE_DONE;
    while (batch.size() < kChildrenBatch && (step = select.Step()) == SQLITE_ROW)
      batch.push_back(ReadJob(select));
    more = step == SQLITE_ROW;
    if ((step != SQLITE_ROW && step != SQLITE_DONE) || !ReadChildren(db_, batch)) {
      status = Failure("cannot read");
      break;
    }
    for (const StoredJob& job : batch) {
      if (!visit(job.record)) {
        more = false;
        break;
      }
    }
    batch.clear();
  }
  ExecSql(db_, "COMMIT");
  return status;
}

HistoryResult<std::vector<JobRecord>> HistoryStore::JobPage(const JobSelection& selection,
                                                            std::int64_t offset, int count) {
  HistoryResult<std::vector<JobRecord>> result;
  if (!db_) {
    result.error = Writable().error;
    return result;
  }
  const std::string sql = SelectSql(selection, (std::string(", ") + kLastMessageSql).c_str());
  SqlStatement select(db_, sql.c_str());
  BindSelection(select, selection, offset, count < 0 ? 0 : count);
  const int last_message = static_cast<int>(JobColumnFields().size());  // after ReadJob's
  int step;
  while ((step = select.Step()) == SQLITE_ROW) {
    JobRecord record = ReadJob(select).record;
    if (const std::int64_t id = select.Int(last_message); id != 0)
      record.message_ids.push_back(static_cast<int>(id));
    result.value.push_back(std::move(record));
  }
  if (step != SQLITE_DONE) result.error = Reason("cannot read");
  return result;
}

HistoryResult<JobRecord> HistoryStore::Job(std::int64_t id) {
  HistoryResult<JobRecord> result;
  if (!db_) {
    result.error = Writable().error;
    return result;
  }
  ExecSql(db_, "BEGIN");
  const std::string sql = "SELECT " + JobColumnsSql() + " FROM jobs WHERE id = :id";
  SqlStatement select(db_, sql.c_str());
  select.Bind(":id", id);
  std::vector<StoredJob> found;
  const int step = select.Step();
  if (step == SQLITE_ROW) found.push_back(ReadJob(select));
  if ((step != SQLITE_ROW && step != SQLITE_DONE) || !ReadChildren(db_, found))
    result.error = Reason("cannot read");
  else if (found.empty())
    result.error = "job #" + std::to_string(id) + " is not in " + path_;
  else
    result.value = std::move(found.front().record);
  ExecSql(db_, "COMMIT");
  return result;
}

}  // namespace vexo
