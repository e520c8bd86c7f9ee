// HistoryStore::CheckChain: checks the file with SQLite, then walks the
// finished rows in the order they finished, one row in memory at a time,
// checking what each column holds and recomputing every digest (see
// docs/history.md).
#include <sqlite3.h>

#include <string>
#include <vector>

#include "history/history_store.h"
#include "history/stored_job.h"

namespace vexo {
namespace {

constexpr int kDamageLinesShown = 3;

std::string RowName(std::int64_t id) {
  return "row #" + std::to_string(id);
}

// Where SQLite gave up without naming a page: the tables (with their
// indexes) whose own check fails.
std::string DamagedTables(sqlite3* db) {
  std::vector<std::string> tables;
  {
    SqlStatement list(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rootpage");
    while (list.Step() == SQLITE_ROW) tables.push_back(list.Text(0));
  }
  std::string damaged;
  for (const std::string& table : tables) {
    const std::string sql = "PRAGMA quick_check(\"" + table + "\")";
    SqlStatement check(db, sql.c_str());
    const int step = check.Step();
    if (step == SQLITE_ROW && check.Text(0) == "ok") continue;
    damaged += (damaged.empty() ? "" : ", ") + table;
  }
  return damaged.empty() ? "" : " in table " + damaged;
}

}  // namespace

HistoryResult<ChainCheck> HistoryStore::CheckChain(const std::optional<ChainHead>& expected) {
  HistoryResult<ChainCheck> result;
  if (!db_) {
    result.error = Writable().error;
    return result;
  }
  ChainCheck& check = result.value;
  auto fail = [&check](std::int64_t row, std::string reason) {
    check.first_bad_row = row;
    check.reason = std::move(reason);
  };
  auto unreadable = [&](const std::string& where) { result.error = Failure(where.c_str()).error; };
  // One read transaction: rows finished meanwhile by a job are not half seen.
  ExecSql(db_, "BEGIN");
  {
    // What SQLite says about the file as a whole, and where: its check
    // names the pages, and may give up with an error after naming them.
    SqlStatement whole(db_, "PRAGMA quick_check");
    std::string found;
    int step;
    for (int lines = 0; (step = whole.Step()) == SQLITE_ROW && lines < kDamageLinesShown;) {
      const std::string line = whole.Text(0);
      if (line == "ok") break;
      if (line.rfind("***", 0) == 0) continue;  // "*** in database main ***"
      found += (found.empty() ? "" : "; ") + line;
      ++lines;
    }
    const bool failed = step != SQLITE_ROW && step != SQLITE_DONE;
    if (failed && found.empty() && IsCorruptionCode(step)) {
      const std::string said = sqlite3_errmsg(db_);
      result.error = "the history file " + path_ + " is damaged: SQLite said \"" + said + "\"" +
                     DamagedTables(db_);
    } else if (!found.empty()) {
      result.error = "the history file " + path_ + " is damaged: SQLite's check found \"" + found +
                     "\"" +
                     (failed ? std::string(", then said \"") + sqlite3_errmsg(db_) + "\"" : "");
    } else if (failed) {
      unreadable("checking the whole file");
    }
  }
  bool has_meta = false;
  if (result.ok()) {
    SqlStatement meta(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'meta'");
    const int step = meta.Step();
    has_meta = step == SQLITE_ROW;
    if (step != SQLITE_ROW && step != SQLITE_DONE) unreadable("cannot read");
  }
  const std::string sql =
      "SELECT " + JobColumnsSql() + " FROM jobs WHERE chain_seq IS NOT NULL ORDER BY chain_seq";
  SqlStatement select(db_, sql.c_str());
  StoredContentReader stored_content(db_);
  ChainLink link{1, 0, ""};
  bool reached_expected = !expected || expected->rows == 0;
  int step = SQLITE_DONE;
  while (result.ok() && check.intact() && (step = select.Step()) == SQLITE_ROW) {
    const std::int64_t id = select.Int(0);
    const std::string row = RowName(id);
    int column = 0;
    for (const JobField* field : JobColumnFields()) {
      if (auto why = OutOfDomain(select, column++, field->domain)) {
        fail(id, row + ", column " + field->name + ", " + *why);
        break;
      }
    }
    if (!check.intact()) break;
    StoredJob job = ReadJob(select);
    if (job.chain_prev_id != link.prev_id) {
      fail(job.chain_prev_id,
           RowName(job.chain_prev_id) + ", finished before " + row + ", was removed");
      break;
    }
    if (*job.chain_seq != link.seq) {
      fail(id, row + " was altered: its place in the chain changed");
      break;
    }
    std::string content;
    std::string child_out_of_domain;
    if (stored_content.Read(select, content, child_out_of_domain) != SQLITE_DONE) {
      unreadable("reading " + row);
      break;
    }
    if (!child_out_of_domain.empty()) {
      fail(id, row + ", " + child_out_of_domain);
      break;
    }
    const std::string stored = job.record.chain_hash;
    const bool exact = stored.rfind(kExactDigestMarker, 0) == 0;
    std::string digest;
    if (exact) {
      digest = ExactChainDigest(link, content);
    } else {
      // Chained before the digest covered the stored values: checked the way
      // it was written.
      std::vector<StoredJob> one{std::move(job)};
      if (!ReadChildren(db_, one)) {
        unreadable("reading " + row);
        break;
      }
      digest = ChainDigest(link, one.front().record);
    }
    if (digest != DigestHex(stored)) {
      fail(id, row + " was altered after it was recorded");
      break;
    }
    ++check.rows_checked;
    check.head = {link.seq, digest};
    if (expected && expected->rows == link.seq) {
      if (expected->digest != digest) {
        fail(id, row + ", at place " + std::to_string(link.seq) +
                     " of the chain, is not the head given (" + expected->Text() + ")");
        break;
      }
      reached_expected = true;
    }
    link = {link.seq + 1, id, stored};
  }
  if (result.ok() && check.intact() && step != SQLITE_DONE) unreadable("reading the chain");

  if (result.ok() && check.intact() && has_meta) {
    SqlStatement head(db_, kChainHeadQuery);
    if (head.Step() != SQLITE_ROW) {
      unreadable("cannot read");
    } else if (const std::int64_t length = head.Int(0); length > check.rows_checked) {
      fail(head.Int(1), RowName(head.Int(1)) + ", the last one finished, was removed");
    } else if (length < check.rows_checked) {
      fail(link.prev_id, "the record of the chain's length was altered");
    }
  }
  if (result.ok() && check.intact()) {
    SqlStatement loose(db_,
                       "SELECT id FROM jobs WHERE chain_seq IS NULL AND result != 'interrupted' "
                       "ORDER BY id LIMIT 1");
    const int loose_step = loose.Step();
    if (loose_step == SQLITE_ROW) {
      fail(loose.Int(0),
           RowName(loose.Int(0)) + " reads finished but was never linked into the chain");
    } else if (loose_step != SQLITE_DONE) {
      unreadable("cannot read");
    }
  }
  if (result.ok() && check.intact() && !reached_expected) {
    fail(0, "the chain ends at " + check.head.Text() + ", short of the head given (" +
                expected->Text() + "): finished rows were removed from its end");
  }
  ExecSql(db_, "COMMIT");
  return result;
}

}  // namespace vexo
