// HistoryStore::CheckChain: walks the finished rows in the order they
// finished and recomputes every digest (see docs/history.md).
#include "history/history_store.h"

#include <sqlite3.h>

#include "history/stored_job.h"

namespace vexo {

HistoryResult<ChainCheck> HistoryStore::CheckChain() {
  HistoryResult<ChainCheck> result;
  if (!db_) {
    result.error = Writable().error;
    return result;
  }
  ChainCheck& check = result.value;
  ExecSql(db_, "BEGIN");
  std::vector<StoredJob> chained;
  std::vector<std::int64_t> unchained_finished;
  std::int64_t chain_length = 0;
  std::int64_t chain_head_id = 0;
  {
    const std::string sql = std::string("SELECT ") + kJobColumns +
                            " FROM jobs WHERE chain_seq IS NOT NULL ORDER BY chain_seq";
    SqlStatement select(db_, sql.c_str());
    int step;
    while ((step = select.Step()) == SQLITE_ROW) chained.push_back(ReadJob(select));
    SqlStatement loose(db_,
                       "SELECT id FROM jobs WHERE chain_seq IS NULL AND result != 'interrupted' "
                       "ORDER BY id");
    int loose_step;
    while ((loose_step = loose.Step()) == SQLITE_ROW) unchained_finished.push_back(loose.Int(0));
    SqlStatement head(db_, kChainHeadQuery);
    const bool head_read = head.Step() == SQLITE_ROW;
    if (head_read) {
      chain_length = head.Int(0);
      chain_head_id = head.Int(1);
    }
    if (step != SQLITE_DONE || loose_step != SQLITE_DONE || !head_read ||
        !ReadChildren(db_, chained))
      result.error = Reason("cannot read");
  }
  ExecSql(db_, "COMMIT");
  if (!result.ok()) return result;

  auto fail = [&check](std::int64_t row, std::string reason) {
    check.first_bad_row = row;
    check.reason = std::move(reason);
  };
  ChainLink expected{1, 0, ""};
  for (const StoredJob& job : chained) {
    const std::string row = "row #" + std::to_string(job.record.id);
    if (job.chain_prev_id != expected.prev_id) {
      fail(job.chain_prev_id, "row #" + std::to_string(job.chain_prev_id) + ", finished before " +
                                  row + ", was removed");
      return result;
    }
    if (*job.chain_seq != expected.seq) {
      fail(job.record.id, row + " was altered: its place in the chain changed");
      return result;
    }
    if (ChainDigest(expected, job.record) != job.record.chain_hash) {
      fail(job.record.id, row + " was altered after it was recorded");
      return result;
    }
    ++check.rows_checked;
    expected = {expected.seq + 1, job.record.id, job.record.chain_hash};
  }
  if (chain_length > check.rows_checked) {
    fail(chain_head_id,
         "row #" + std::to_string(chain_head_id) + ", the last one finished, was removed");
  } else if (chain_length < check.rows_checked) {
    fail(expected.prev_id, "the record of the chain's length was altered");
  } else if (!unchained_finished.empty()) {
    fail(unchained_finished.front(), "row #" + std::to_string(unchained_finished.front()) +
                                         " reads finished but was never linked into the chain");
  }
  return result;
}

}  // namespace vexo
