// Rows of the history as read back, with their place in the chain, the
// digests that link a finished row to the one before it, and what each column
// may hold. Shared by the store's own files; no one else. Read failures are
// SQLite result codes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/job_record.h"
#include "history/sqlite_statement.h"

namespace vexo {

// The jobs columns in the order ReadJob expects them.
inline constexpr char kJobColumns[] =
    "id, started_utc_ms, ended_utc_ms, program, program_version, user_name, host_name, "
    "port_chosen, port_device, usb_vid_pid, usb_product, usb_serial, usb_path, requested_baud, "
    "used_baud, model, mode, firmware_path, firmware_size, firmware_sha256, record_count, "
    "lowest_address, highest_address, identity_hex, pages_compared, first_difference, result, "
    "closing_confirmed, downing_declined, exit_status, chain_hash, chain_seq, chain_prev_id";

// What a jobs column may hold, as this program writes it.
enum class ColumnDomain {
  kInteger,        // any integer
  kCount,          // an integer >= 0
  kInt32,          // an int of JobRecord
  kAddress,        // 0 .. 2^32-1
  kAddressOrNull,  // the same, or NULL
  kFlag,           // 0 or 1
  kText,           // any text
  kProgram,        // JobProgramText
  kMode,           // JobModeText
  kResult,         // JobResultText
  kChainHash,      // a digest in either form below
};

struct JobColumn {
  const char* name;
  ColumnDomain domain;
};

// Every column of kJobColumns, in its order.
inline constexpr JobColumn kJobColumnList[] = {
    {"id", ColumnDomain::kCount},
    {"started_utc_ms", ColumnDomain::kInteger},
    {"ended_utc_ms", ColumnDomain::kInteger},
    {"program", ColumnDomain::kProgram},
    {"program_version", ColumnDomain::kText},
    {"user_name", ColumnDomain::kText},
    {"host_name", ColumnDomain::kText},
    {"port_chosen", ColumnDomain::kText},
    {"port_device", ColumnDomain::kText},
    {"usb_vid_pid", ColumnDomain::kText},
    {"usb_product", ColumnDomain::kText},
    {"usb_serial", ColumnDomain::kText},
    {"usb_path", ColumnDomain::kText},
    {"requested_baud", ColumnDomain::kInt32},
    {"used_baud", ColumnDomain::kInt32},
    {"model", ColumnDomain::kText},
    {"mode", ColumnDomain::kMode},
    {"firmware_path", ColumnDomain::kText},
    {"firmware_size", ColumnDomain::kCount},
    {"firmware_sha256", ColumnDomain::kText},
    {"record_count", ColumnDomain::kInt32},
    {"lowest_address", ColumnDomain::kAddress},
    {"highest_address", ColumnDomain::kAddress},
    {"identity_hex", ColumnDomain::kText},
    {"pages_compared", ColumnDomain::kInt32},
    {"first_difference", ColumnDomain::kAddressOrNull},
    {"result", ColumnDomain::kResult},
    {"closing_confirmed", ColumnDomain::kFlag},
    {"downing_declined", ColumnDomain::kFlag},
    {"exit_status", ColumnDomain::kInt32},
    {"chain_hash", ColumnDomain::kChainHash},
    {"chain_seq", ColumnDomain::kCount},
    {"chain_prev_id", ColumnDomain::kCount},
};

constexpr int CountColumns(const char* list) {
  int count = 1;
  for (; *list; ++list) count += *list == ',';
  return count;
}
static_assert(CountColumns(kJobColumns) == std::size(kJobColumnList));
inline constexpr int kChainHashColumn = 30;  // the one column a row's digest leaves out
static_assert(std::string_view(kJobColumnList[kChainHashColumn].name) == "chain_hash");

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

struct StoredJob {
  JobRecord record;
  std::optional<std::int64_t> chain_seq;
  std::int64_t chain_prev_id = 0;
};

// The current row of a SELECT of kJobColumns.
StoredJob ReadJob(const SqlStatement& row);
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
// SELECT of kJobColumns but chain_hash, then its phases and messages, each
// value by its storage type and exact bytes. A child value outside its domain
// is named in out_of_domain ("phases.retries ..."). Holds its statements, so
// that a walk over many rows prepares them once; one connection, one thread.
class StoredContentReader {
 public:
  explicit StoredContentReader(sqlite3* db);
  // SQLITE_DONE when read, else the failing step's code.
  int Read(const SqlStatement& row, std::string& content, std::string& out_of_domain);

 private:
  std::vector<std::unique_ptr<SqlStatement>> children_;  // as kChildTables
};
// The hex digest of the row's stored content at its place in the chain.
std::string ExactChainDigest(const ChainLink& link, const std::string& content);
// The hex digest inside a chain_hash of either form.
std::string DigestHex(const std::string& chain_hash);

}  // namespace vexo
