#include "bench/history_size_bench.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "history/history_store.h"
#include "history/job_recorder.h"
#include "tests/history/history_test_support.h"

namespace vexo::bench {
namespace {

constexpr int kJobs = 9;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Copies of the one real row, each with a place in the chain and two phases
// and a message: the shape of a real history, written in one transaction.
// Their digests are not real; only a check would notice.
constexpr char kFill[] = R"sql(
BEGIN;
WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < :rows)
INSERT INTO jobs (id, started_utc_ms, ended_utc_ms, program, program_version, user_name,
  host_name, port_chosen, port_device, usb_vid_pid, usb_product, usb_serial, usb_path,
  requested_baud, used_baud, model, mode, firmware_path, firmware_size, firmware_sha256,
  record_count, lowest_address, highest_address, identity_hex, pages_compared,
  first_difference, result, closing_confirmed, downing_declined, exit_status, chain_seq,
  chain_prev_id, chain_hash)
SELECT i, started_utc_ms + i * 60000, ended_utc_ms + i * 60000, program, program_version,
  user_name, host_name, port_chosen, port_device, usb_vid_pid, usb_product, 'A' || i, usb_path,
  requested_baud, used_baud, model, mode, firmware_path, firmware_size, firmware_sha256,
  record_count, lowest_address, highest_address, identity_hex, pages_compared,
  first_difference, result, closing_confirmed, downing_declined, exit_status, i, i - 1,
  chain_hash
FROM n, jobs WHERE jobs.id = 1;
INSERT INTO phases SELECT jobs.id, phases.seq, phases.name, phases.started_utc_ms,
  phases.duration_ms, phases.retries, phases.bytes_sent, phases.bytes_received
  FROM jobs, phases WHERE phases.job_id = 1 AND jobs.id > 1;
INSERT INTO messages SELECT jobs.id, messages.seq, messages.text_id
  FROM jobs, messages WHERE messages.job_id = 1 AND jobs.id > 1;
UPDATE meta SET value = :rows WHERE key IN ('chain_length', 'chain_head_id');
COMMIT;
)sql";

bool Fill(const std::string& path, std::int64_t rows, std::string& error) {
  {
    HistoryStore store;
    JobRecord job = testing::SampleJob(1);
    if (HistoryStatus s = store.OpenForRecording(path); !s.ok()) return error = s.error, false;
    if (HistoryStatus s = store.BeginJob(job); !s.ok()) return error = s.error, false;
    job.result = JobResult::kCompleted;
    if (HistoryStatus s = store.FinishJob(job); !s.ok()) return error = s.error, false;
  }
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  // The script binds :rows in each statement it names it in.
  const char* sql = kFill;
  int code = SQLITE_OK;
  while (code == SQLITE_OK && *sql) {
    sqlite3_stmt* statement = nullptr;
    const char* rest = nullptr;
    code = sqlite3_prepare_v2(db, sql, -1, &statement, &rest);
    if (code == SQLITE_OK && statement) {
      if (const int index = sqlite3_bind_parameter_index(statement, ":rows"))
        sqlite3_bind_int64(statement, index, rows);
      code = sqlite3_step(statement) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    }
    sqlite3_finalize(statement);
    sql = rest;
  }
  if (code != SQLITE_OK) error = std::string("filling the history: ") + sqlite3_errmsg(db);
  sqlite3_close(db);
  return code == SQLITE_OK;
}

}  // namespace

HistorySizeRun RunHistorySize(const std::string& scratch, std::int64_t rows) {
  HistorySizeRun run;
  const std::string path = scratch + "/history-size.sqlite3";
  const auto fill_start = Clock::now();
  if (!Fill(path, rows, run.error)) return run;
  run.fill_seconds = MsSince(fill_start) / 1000;
  std::vector<double> starts, finishes;
  for (int n = 0; n < kJobs; ++n) {
    JobRecorder recorder(path);
    const auto start = Clock::now();
    recorder.Start(testing::SampleJob(n));
    starts.push_back(MsSince(start));
    const auto finish = Clock::now();
    recorder.Finish(JobResult::kCompleted, 0);
    finishes.push_back(MsSince(finish));
    if (auto failure = recorder.TakeFailure()) {
      run.error = *failure;
      return run;
    }
  }
  run.start_ms_median = Median(starts);
  run.start_ms_worst = *std::max_element(starts.begin(), starts.end());
  run.finish_ms_median = Median(finishes);
  run.ok = true;
  return run;
}

}  // namespace vexo::bench
