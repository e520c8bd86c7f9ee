// Rows of the history as read back, with their place in the chain, and the
// digest that links a finished row to the one before it. Shared by the
// store's own files (history_store.cpp, history_chain.cpp); no one else.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
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
// The digest a finished row carries: its content, its place in the chain and
// the digest of the row finished before it.
std::string ChainDigest(const ChainLink& link, const JobRecord& record);

}  // namespace vexo
