// Rows of the history as stored: their children read back, the digests that
// link a finished row to the one before it, and what each column may hold
// (the row's own columns: history/job_fields.h). Shared by the store's own
// files and the bench that grows a history. Read failures are SQLite result
// codes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/job_fields.h"
#include "history/job_record.h"
#include "history/sqlite_statement.h"

namespace vexo {

// Rows chained before the digest covered the stored values exactly carry its
// bare hex (ChainDigest); later ones this marker and the hex (ExactChainDigest).
inline constexpr char kExactDigestMarker[] = "v2:";

// Length and newest row of the chain, from meta.
inline constexpr char kChainHeadQuery[] =
    "SELECT (SELECT value FROM meta WHERE key = 'chain_length'), "
    "(SELECT value FROM meta WHERE key = 'chain_head_id')";

struct ChainLink {
  std::int64_t seq = 0;
  std::int64_t prev_id = 0;
  std::string prev_hash;
};

// Fills phases and messages of every job; false on a read error.
bool ReadChildren(sqlite3* db, std::vector<StoredJob>& jobs);
// The digest a finished row carried before the exact digest: its content
// as JobRecord reads it back, its place in the chain and the digest of the row
// finished before it. Values that JobRecord cannot hold escape it; the domain
// checks below catch those.
std::string ChainDigest(const ChainLink& link, const JobRecord& record);

// Why the value of one column of the current row lies outside what this
// program writes there ("holds ..."); nullopt when it fits.
std::optional<std::string> OutOfDomain(const SqlStatement& row, int column, ColumnDomain domain);

// What a row's digest covers, as stored: every column of the current row of a
// SELECT of JobColumnsSql but chain_hash, then its phases and messages, each
// value by its storage type and exact bytes. A child value outside its domain
// is named in out_of_domain ("phases.retries ..."). Holds its statements, so
// that a walk over many rows prepares them once; one connection, one thread.
class StoredContentReader {
 public:
  explicit StoredContentReader(sqlite3* db);
  // SQLITE_DONE when read, else the failing step's code.
  int Read(const SqlStatement& row, std::string& content, std::string& out_of_domain);

 private:
  std::vector<std::unique_ptr<SqlStatement>> children_;  // phases, then messages
};
// The hex digest of the row's stored content at its place in the chain.
std::string ExactChainDigest(const ChainLink& link, const std::string& content);
// The hex digest inside a chain_hash of either form.
std::string DigestHex(const std::string& chain_hash);

}  // namespace vexo
