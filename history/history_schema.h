// The history database's layout: one SQL step per schema version, applied in
// order to bring a file from version N-1 to N (a new file runs them all). The
// version lives in PRAGMA user_version. Append steps; never edit a shipped one.
#pragma once

namespace vexo {

struct SchemaStep {
  int version;  // user_version after this step
  const char* sql;
};

// Version 1: jobs with their phases and messages; finished rows carry their
// place in the chain (chain_seq, chain_prev_id) and chain_hash.
inline constexpr char kSchemaJobsTables[] = R"sql(
CREATE TABLE IF NOT EXISTS jobs (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  started_utc_ms INTEGER NOT NULL,
  ended_utc_ms INTEGER NOT NULL DEFAULT 0,
  program TEXT NOT NULL,
  program_version TEXT NOT NULL,
  user_name TEXT NOT NULL,
  host_name TEXT NOT NULL,
  port_chosen TEXT NOT NULL,
  port_device TEXT NOT NULL,
  usb_vid_pid TEXT NOT NULL,
  usb_product TEXT NOT NULL,
  usb_serial TEXT NOT NULL,
  usb_path TEXT NOT NULL,
  requested_baud INTEGER NOT NULL,
  used_baud INTEGER NOT NULL,
  model TEXT NOT NULL,
  mode TEXT NOT NULL,
  firmware_path TEXT NOT NULL,
  firmware_size INTEGER NOT NULL,
  firmware_sha256 TEXT NOT NULL,
  record_count INTEGER NOT NULL,
  lowest_address INTEGER NOT NULL,
  highest_address INTEGER NOT NULL,
  identity_hex TEXT NOT NULL,
  pages_compared INTEGER NOT NULL,
  first_difference INTEGER,
  result TEXT NOT NULL,
  closing_confirmed INTEGER NOT NULL,
  downing_declined INTEGER NOT NULL,
  exit_status INTEGER NOT NULL,
  chain_seq INTEGER UNIQUE,
  chain_prev_id INTEGER,
  chain_hash TEXT
);
CREATE TABLE IF NOT EXISTS phases (
  job_id INTEGER NOT NULL REFERENCES jobs(id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  started_utc_ms INTEGER NOT NULL,
  duration_ms INTEGER NOT NULL,
  retries INTEGER NOT NULL,
  bytes_sent INTEGER NOT NULL,
  bytes_received INTEGER NOT NULL,
  PRIMARY KEY (job_id, seq)
);
CREATE TABLE IF NOT EXISTS messages (
  job_id INTEGER NOT NULL REFERENCES jobs(id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  text_id INTEGER NOT NULL,
  PRIMARY KEY (job_id, seq)
);
)sql";

// Version 2: the head of the chain is kept apart, so that removing the newest
// finished rows is noticed too; started from the rows already chained. An
// index for the newest-first listings.
inline constexpr char kSchemaChainHead[] = R"sql(
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
INSERT OR REPLACE INTO meta (key, value)
  SELECT 'chain_length', COALESCE(MAX(chain_seq), 0) FROM jobs;
INSERT OR REPLACE INTO meta (key, value)
  SELECT 'chain_head_id', COALESCE((SELECT id FROM jobs WHERE chain_seq IS NOT NULL
                                    ORDER BY chain_seq DESC LIMIT 1), 0);
CREATE INDEX IF NOT EXISTS jobs_by_start ON jobs (started_utc_ms);
)sql";

inline constexpr SchemaStep kSchemaSteps[] = {
    {1, kSchemaJobsTables},
    {2, kSchemaChainHead},
};

inline constexpr int kHistorySchemaVersion = 2;

}  // namespace vexo
