#include "bench/history_scale_bench.h"

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/text_ids.h"
#include "history/history_store.h"
#include "history/job_recorder.h"
#include "history/sqlite_statement.h"
#include "history/stored_job.h"
#include "tests/tools/sim_process.h"

extern char** environ;

namespace vexo::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kJobStartRounds = 5;
constexpr std::int64_t kFirstStartMs = 1'600'000'000'000;
constexpr std::int64_t kJobSpacingMs = 170'000;  // 500 jobs in a working day

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A job as the command line records it at a depot: eight ports, three
// firmware files, mostly completed, now and then a radio that did not answer.
JobRecord DepotJob(std::int64_t n) {
  JobRecord r;
  r.id = n;
  r.started_utc_ms = kFirstStartMs + n * kJobSpacingMs;
  r.program = n % 5 ? JobProgram::kCommandLine : JobProgram::kWindow;
  r.program_version = "2.20a";
  r.user_name = "depot";
  r.host_name = "bench-pc-" + std::to_string(n % 3);
  const std::string port = std::to_string(n % 8);
  r.port_chosen = "COM" + port;
  r.port_device = "/dev/ttyUSB" + port;
  r.usb_vid_pid = "0403:6001";
  r.usb_product = "FT232R USB UART";
  r.usb_serial = "A90" + std::to_string(10000 + n % 8);
  r.usb_path = "/devices/pci0000:00/usb1/1-" + port;
  r.requested_baud = 115200;
  r.used_baud = n % 50 ? 115200 : 9600;
  r.downing_declined = r.used_baud == 9600;
  r.model = "RX-" + std::to_string(1 + n % 3);
  r.mode = JobMode::kEraseProgramVerify;
  r.firmware_path = "/srv/firmware/rx" + std::to_string(1 + n % 3) + "-v2.20a.BIN";
  r.firmware_size = 131072;
  r.firmware_sha256 = std::string(64, "abc"[n % 3]);
  r.record_count = 512;
  r.lowest_address = 0x08000000;
  r.highest_address = 0x0801FFFF;
  r.identity_hex = "0102030405060708";
  const bool failed = n % 97 == 0;
  std::int64_t at = r.started_utc_ms;
  const std::pair<const char*, std::int64_t> phases[] = {{phase::kHandshake, 120},
                                                         {phase::kErase, 900},
                                                         {phase::kProgramming, 22'000},
                                                         {phase::kReadBack, 11'000},
                                                         {phase::kClosing, 40}};
  for (const auto& [name, duration] : phases) {
    r.phases.push_back({name, at, duration, n % 13 == 0 ? 1 : 0, 4096, 2048});
    at += duration;
    if (failed && r.phases.size() == 3) break;
  }
  r.pages_compared = failed ? 0 : 64;
  r.message_ids = {text::kDownloadComplete};
  r.result = failed ? JobResult::kFailed : JobResult::kCompleted;
  if (failed) r.message_ids = {text::kNoReplyInTime};
  r.closing_confirmed = !failed;
  r.exit_status = failed ? 1 : 0;
  r.ended_utc_ms = at;
  return r;
}

bool Step(SqlStatement& statement, std::string& error, sqlite3* db) {
  if (statement.Step() == SQLITE_DONE) return true;
  error = sqlite3_errmsg(db);
  return false;
}

// Adds finished, chained rows until the history holds rows; one transaction,
// prepared statements.
bool GrowHistory(const std::string& path, int rows, std::string& error) {
  {
    HistoryStore store;  // creates the file and its layout
    if (HistoryStatus opened = store.OpenForRecording(path); !opened.ok()) {
      error = opened.error;
      return false;
    }
  }
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    error = "cannot open " + path;
    sqlite3_close(db);
    return false;
  }
  ExecSql(db, "PRAGMA synchronous=OFF");
  ExecSql(db, "BEGIN");
  ChainLink link;
  std::int64_t have = 0;
  {
    SqlStatement head(db, kChainHeadQuery);
    if (head.Step() == SQLITE_ROW) {
      link.seq = head.Int(0);
      link.prev_id = head.Int(1);
    }
    SqlStatement count(db,
                       "SELECT COALESCE(MAX(id), 0), (SELECT chain_hash FROM jobs WHERE id = "
                       "(SELECT value FROM meta WHERE key = 'chain_head_id')) FROM jobs");
    if (count.Step() == SQLITE_ROW) {
      have = count.Int(0);
      link.prev_hash = count.Text(1);
    }
  }
  const std::string insert_job = InsertJobSql(InsertedColumns::kAll);
  SqlStatement job(db, insert_job.c_str());
  SqlStatement phase(db, InsertPhaseSql().c_str());
  SqlStatement message(db, "INSERT INTO messages VALUES (:id, :seq, :text_id)");
  bool ok = job.ok() && phase.ok() && message.ok();
  if (!ok) error = sqlite3_errmsg(db);
  for (std::int64_t n = have + 1; ok && n <= rows; ++n) {
    const JobRecord r = DepotJob(n);
    ++link.seq;
    const std::string digest = ChainDigest(link, r);
    job.Reset();
    BindJob(job, r);
    job.Bind(":chain_hash", digest);
    job.Bind(":chain_seq", link.seq);
    job.Bind(":chain_prev_id", link.prev_id);
    ok = Step(job, error, db);
    for (std::size_t i = 0; ok && i < r.phases.size(); ++i) {
      phase.Reset();
      BindPhase(phase, r.id, static_cast<std::int64_t>(i), r.phases[i]);
      ok = Step(phase, error, db);
    }
    for (std::size_t i = 0; ok && i < r.message_ids.size(); ++i) {
      message.Reset();
      message.Bind(":id", r.id);
      message.Bind(":seq", static_cast<std::int64_t>(i));
      message.Bind(":text_id", r.message_ids[i]);
      ok = Step(message, error, db);
    }
    link.prev_id = r.id;
    link.prev_hash = digest;
  }
  if (ok) {
    SqlStatement head(db,
                      "INSERT OR REPLACE INTO meta (key, value) VALUES ('chain_length', :seq), "
                      "('chain_head_id', :id)");
    head.Bind(":seq", link.seq);
    head.Bind(":id", link.prev_id);
    ok = Step(head, error, db);
  }
  ok = ok && ExecSql(db, "COMMIT") == SQLITE_OK;
  if (!ok && error.empty()) error = sqlite3_errmsg(db);
  // A depot's history grows a job at a time and is checkpointed as it goes;
  // the next job must not pay for this one transaction's write-ahead log.
  if (ok) ExecSql(db, "PRAGMA wal_checkpoint(TRUNCATE)");
  sqlite3_close(db);
  return ok;
}

// The cost a job pays before its first exchange: open the history for
// recording and write its row, as vexo-flash and the window do. The rows so
// written are finished (not timed), so the history stays whole.
double JobStartMs(const std::string& path) {
  std::vector<double> costs;
  for (int round = 0; round < kJobStartRounds; ++round) {
    // What a job knows before its first exchange: no phase, no message.
    JobRecord record = DepotJob(1);
    record.id = 0;
    record.started_utc_ms = record.ended_utc_ms = 0;
    record.phases.clear();
    record.message_ids.clear();
    record.result = JobResult::kInterrupted;
    JobRecorder recorder(path);
    const Clock::time_point start = Clock::now();
    recorder.Start(record);
    costs.push_back(MsSince(start));
    recorder.Finish(JobResult::kCompleted, 0);
  }
  std::sort(costs.begin(), costs.end());
  return costs[costs.size() / 2];
}

struct ChildRun {
  bool ok = false;
  int exit_code = -1;
  double ms = 0;
  double peak_mb = 0;  // the child's maximum resident set
  std::string output;
};

// Runs a program to its end with standard output to output_file, timing it
// and reading its peak memory from the kernel's accounting.
ChildRun RunMeasured(const std::string& program, const std::vector<std::string>& args,
                     const std::string& output_file) {
  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_file.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ChildRun run;
  pid_t pid = -1;
  const Clock::time_point start = Clock::now();
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.ms = MsSince(start);
  run.ok = WIFEXITED(status);
  run.exit_code = run.ok ? WEXITSTATUS(status) : -1;
  run.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
  if (output_file != "/dev/null") run.output = testing::ReadWholeFile(output_file);
  return run;
}

void Measure(HistoryScaleFigures& f, const std::string& path, const std::string& scratch) {
  const std::string flash = testing::ProgramPath("vexo-flash");
  f.job_start_ms = JobStartMs(path);
  const ChildRun list =
      RunMeasured(flash, {"--history-file", path, "--history", "20"}, scratch + "/list.txt");
  f.list_ms = list.ms;
  const ChildRun check =
      RunMeasured(flash, {"--history-file", path, "--history-check"}, scratch + "/check.txt");
  f.check_ms = check.ms;
  f.check_intact = check.exit_code == 0 && check.output.find("intact") != std::string::npos;
  const ChildRun csv =
      RunMeasured(flash, {"--history-file", path, "--history-export", "csv", "-"}, "/dev/null");
  const ChildRun json =
      RunMeasured(flash, {"--history-file", path, "--history-export", "json", "-"}, "/dev/null");
  f.csv_s = csv.ms / 1000;
  f.csv_peak_mb = csv.peak_mb;
  f.json_s = json.ms / 1000;
  f.json_peak_mb = json.peak_mb;
  if (list.exit_code != 0 || csv.exit_code != 0 || json.exit_code != 0)
    f.error = "a vexo-flash history command failed";
  const std::string window = testing::ProgramPath("vexo-bench-history-window");
  if (!std::filesystem::exists(window)) return;
  const ChildRun dialog = RunMeasured(window, {path}, scratch + "/dialog.txt");
  double ms = 0, open_ms = 0;
  int rows = 0;
  if (dialog.exit_code == 0 &&
      std::sscanf(dialog.output.c_str(), "%lf %d %lf", &ms, &rows, &open_ms) == 3 && rows > 0) {
    f.dialog_first_rows_ms = ms;
    f.dialog_open_ms = open_ms;
  } else if (f.error.empty())
    f.error = "the History dialog showed no rows";
}

}  // namespace

std::vector<HistoryScaleFigures> RunHistoryScale(const std::vector<int>& sizes,
                                                 const std::string& scratch) {
  std::vector<HistoryScaleFigures> all;
  const std::string path = scratch + "/scale-history.sqlite3";
  for (int rows : sizes) {
    HistoryScaleFigures f;
    f.rows = rows;
    const Clock::time_point start = Clock::now();
    if (!GrowHistory(path, rows, f.error)) {
      all.push_back(f);
      break;
    }
    f.build_s = MsSince(start) / 1000;
    Measure(f, path, scratch);
    all.push_back(f);
  }
  return all;
}

}  // namespace vexo::bench
