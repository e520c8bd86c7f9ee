// vexo-bench: the figures behind bench/RESULTS.md.
//   vexo-bench [all|wire|overhead|load|scale|history|batch] [--records N] [--count N]
//   vexo-bench campaign [--runs N] [--jobs N] [--seed N]
//   vexo-bench history-scale [--sizes 10000,100000,1000000]
// "all" (the default) runs every benchmark and prints one table; "campaign"
// runs the long fault campaign against the simulator. A word it does not
// know is a usage error: one line, exit status 2.
#include <getopt.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/campaign_bench.h"
#include "bench/history_scale_bench.h"
#include "bench/wire_bench.h"
#include "tests/tools/sim_process.h"

namespace vexo::bench {
namespace {

struct Row {
  std::string what;
  std::string figure;
  std::string target;
  bool met = true;
};

void Print(const std::vector<Row>& rows) {
  std::printf("%-58s %-34s %-14s %s\n", "benchmark", "figure", "target", "");
  for (const Row& r : rows) {
    std::printf("%-58s %-34s %-14s %s\n", r.what.c_str(), r.figure.c_str(), r.target.c_str(),
                r.target.empty() ? "" : (r.met ? "met" : "NOT MET"));
  }
}

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

void Wire(std::vector<Row>& rows, const std::string& scratch, int records) {
  WireSetup setup;
  setup.records = records;
  WireRun run = RunWire(setup, scratch);
  if (!run.ok) {
    rows.push_back(
        {"1. wire efficiency (E.P.R, 115200, paced)", "failed: " + run.error, "<= 1.02", false});
    return;
  }
  double ratio = run.measured_ms / run.theoretical_ms;
  rows.push_back({"1. wire efficiency: measured / theoretical",
                  Format("%.3f (%.0f / %.0f ms)", ratio, run.measured_ms, run.theoretical_ms),
                  "<= 1.02", ratio <= 1.02});
  double cpu = run.cpu_seconds / (run.measured_ms / 1000.0);
  rows.push_back({"3. CPU of vexo-flash during 1 (cpu s / wall s)",
                  Format("%.2f%% (%.3f s)", 100 * cpu, run.cpu_seconds), "<= 2%", cpu <= 0.02});
}

void Overhead(std::vector<Row>& rows, const std::string& scratch, int records) {
  OverheadRun cli = RunCommandLineOverhead(records, scratch);
  if (!cli.ok) {
    rows.push_back({"2. host overhead, command line", "failed: " + cli.error, "", false});
    return;
  }
  rows.push_back({"2. per exchange, command line (median / p99)",
                  Format("%.0f / %.0f us, %.0f rec/s", cli.micros.median, cli.micros.p99,
                         cli.records_per_second),
                  ""});
  // The window's figure comes from its own program, which needs Qt.
  std::string window = testing::ProgramPath("vexo-bench-window");
  if (!std::filesystem::exists(window)) return;
  testing::RunResult run = testing::RunProgram(
      window,
      {"--records", std::to_string(records), "--median-cli", Format("%.1f", cli.micros.median)},
      std::chrono::minutes(5));
  std::string line = run.output.substr(0, run.output.find('\n'));
  double median = 0, p99 = 0, rate = 0;
  if (std::sscanf(line.c_str(), "%lf %lf %lf", &median, &p99, &rate) != 3) {
    rows.push_back({"2. per exchange, window", "failed: " + run.error_output, "", false});
    return;
  }
  rows.push_back({"2. per exchange, window offscreen (median / p99)",
                  Format("%.0f / %.0f us, %.0f rec/s", median, p99, rate), "<= 2x command line",
                  median <= 2 * cli.micros.median});
}

// Recording each job in the history must not slow it: the same download with
// the history file writable and with it impossible to create (the job then
// runs unrecorded), taken in turn, and the engine's cost per exchange with
// and without the recorder listening, in this one run.
void History(std::vector<Row>& rows, const std::string& scratch, int records) {
  WireSetup setup;
  setup.records = records;
  const std::string on_path = scratch + "/bench-history.sqlite3";
  const std::string off_path = "/proc/vexo-no-history/history.sqlite3";
  double wire[2] = {0, 0};  // off, on: best of two each
  std::string error;
  for (int round = 0; round < 2 && error.empty(); ++round) {
    for (int on = 0; on < 2; ++on) {
      setenv("VEXO_HISTORY", (on ? on_path : off_path).c_str(), 1);
      const WireRun run = RunWire(setup, scratch);
      if (!run.ok) error = run.error;
      const double ratio = run.measured_ms / run.theoretical_ms;
      if (wire[on] == 0 || ratio < wire[on]) wire[on] = ratio;
    }
  }
  unsetenv("VEXO_HISTORY");
  rows.push_back({"6. wire efficiency, history off / on",
                  error.empty() ? Format("%.3f / %.3f", wire[0], wire[1]) : "failed: " + error,
                  "within 0.01", error.empty() && wire[1] - wire[0] <= 0.01});
  const OverheadRun off = RunCommandLineOverhead(records, scratch, Recording::off);
  const OverheadRun on = RunCommandLineOverhead(records, scratch, Recording::on);
  const bool ok = off.ok && on.ok;
  rows.push_back({"6. per exchange, history off / on (median)",
                  ok ? Format("%.0f / %.0f us", off.micros.median, on.micros.median)
                     : "failed: " + off.error + on.error,
                  "within 10 us", ok && on.micros.median - off.micros.median <= 10});
}

void Load(std::vector<Row>& rows, const std::string& scratch) {
  double rate = ImageLoadRate(16, scratch);
  rows.push_back({"4. image load, 16 MiB", Format("%.0f MB/s", rate), ">= 500 MB/s", rate >= 500});
}

void Scale(std::vector<Row>& rows, const std::string& scratch, int records, int count) {
  WireSetup setup;
  setup.records = records;
  const WireRun solo = RunWire(setup, scratch);
  std::vector<WireRun> runs = RunSeveralPorts(setup, count, scratch);
  double worst = 0;
  bool all_ok = solo.ok;
  std::string error = solo.error;
  for (const WireRun& r : runs) {
    all_ok = all_ok && r.ok;
    if (error.empty()) error = r.error;
    worst = std::max(worst, r.measured_ms / solo.measured_ms);
  }
  rows.push_back(
      {"5. " + std::to_string(count) + " downloads at once: slowest / solo",
       all_ok ? Format("%.3f (solo %.0f ms)", worst, solo.measured_ms) : "failed: " + error,
       "<= 1.05", all_ok && worst <= 1.05});
}

// The batch window's lanes against the same solo download as 5; the window's
// figures come from its own program, which needs Qt.
void Batch(std::vector<Row>& rows, const std::string& scratch, int records, int count) {
  const std::string program = testing::ProgramPath("vexo-bench-batch");
  if (!std::filesystem::exists(program)) return;
  WireSetup setup;
  setup.records = records;
  const WireRun solo = RunWire(setup, scratch);
  testing::RunResult run = testing::RunProgram(
      program, {"--records", std::to_string(records), "--count", std::to_string(count)},
      std::chrono::minutes(10));
  double slowest = 0, cpu = 0, wall = 0;
  const std::string what = "7. batch window, " + std::to_string(count) + " lanes: slowest / solo";
  if (!solo.ok || std::sscanf(run.output.c_str(), "%lf %lf %lf", &slowest, &cpu, &wall) != 3) {
    rows.push_back({what, "failed: " + solo.error + run.error_output, "<= 1.05", false});
    return;
  }
  const double ratio = slowest / solo.measured_ms;
  rows.push_back({what, Format("%.3f (%.0f / %.0f ms)", ratio, slowest, solo.measured_ms),
                  "<= 1.05", ratio <= 1.05});
  const double share = cpu / wall;
  rows.push_back({"8. CPU of the batch window during 7 (cpu s / wall s)",
                  Format("%.2f%% (%.3f / %.1f s)", 100 * share, cpu, wall), "<= 5%",
                  share <= 0.05});
}

int Campaign(const std::string& scratch, int runs, int jobs, unsigned seed) {
  CampaignResult result = RunCampaign(runs, jobs, seed, scratch);
  std::printf(
      "fault campaign: %d runs (seed %u, %d at once) in %.0f s: %d completed, %d stopped, "
      "%zu violations\n",
      result.runs, seed, jobs, result.seconds, result.completed, result.stopped,
      result.violations.size());
  for (const std::string& v : result.violations) std::printf("  %s\n", v.c_str());
  return result.violations.empty() ? 0 : 1;
}

// A history of years: each size's costs, against the targets at the largest.
int HistoryScale(const std::string& scratch, const std::vector<int>& sizes) {
  constexpr double kDialogTargetMs = 500, kExportTargetMb = 64, kJobStartTargetMs = 20;
  const std::vector<HistoryScaleFigures> all = RunHistoryScale(sizes, scratch);
  std::printf("%9s %8s %9s %9s %11s %16s %16s %18s\n", "rows", "build s", "job start", "--history",
              "--hist-check", "CSV s / peak MB", "JSON s / peak MB", "dialog (open) ms");
  bool met = true;
  for (const HistoryScaleFigures& f : all) {
    std::printf(
        "%9d %8.1f %6.1f ms %6.0f ms %8.0f ms%s %7.1f / %6.1f %7.1f / %6.1f %10.0f (%5.0f) %s\n",
        f.rows, f.build_s, f.job_start_ms, f.list_ms, f.check_ms, f.check_intact ? " " : "!",
        f.csv_s, f.csv_peak_mb, f.json_s, f.json_peak_mb, f.dialog_first_rows_ms, f.dialog_open_ms,
        f.error.c_str());
    met = met && f.error.empty() && f.check_intact;
  }
  if (all.empty()) return 1;
  const HistoryScaleFigures& largest = all.back();
  const struct {
    const char* what;
    double figure;
    double target;
  } targets[] = {{"dialog first rows, ms", largest.dialog_first_rows_ms, kDialogTargetMs},
                 {"export peak memory, MB", std::max(largest.csv_peak_mb, largest.json_peak_mb),
                  kExportTargetMb},
                 {"job start, ms", largest.job_start_ms, kJobStartTargetMs}};
  std::printf("at %d rows:\n", largest.rows);
  for (const auto& t : targets) {
    const bool ok = t.figure >= 0 && t.figure <= t.target;
    std::printf("  %-24s %8.1f  <= %-6.0f %s\n", t.what, t.figure, t.target,
                ok ? "met" : "NOT MET");
    met = met && ok;
  }
  return met ? 0 : 1;
}

std::vector<int> SizeList(const std::string& text) {
  std::vector<int> sizes;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find(',', at), text.size());
    if (const int n = std::atoi(text.substr(at, end - at).c_str()); n > 0) sizes.push_back(n);
    at = end + 1;
  }
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

constexpr char kUsage[] =
    "usage: vexo-bench [all|wire|overhead|load|scale|history|batch] [--records N] [--count "
    "N]\n"
    "       vexo-bench campaign [--runs N] [--jobs N] [--seed N]\n"
    "       vexo-bench history-scale [--sizes 10000,100000,1000000]";

enum OptionCode : int { kWhat = 1, kRecords = 256, kCount, kRuns, kJobs, kSeed, kSizes, kHelp };

constexpr option kLongOptions[] = {
    {"records", required_argument, nullptr, kRecords},
    {"count", required_argument, nullptr, kCount},
    {"runs", required_argument, nullptr, kRuns},
    {"jobs", required_argument, nullptr, kJobs},
    {"seed", required_argument, nullptr, kSeed},
    {"sizes", required_argument, nullptr, kSizes},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

int UsageError(const std::string& reason) {
  std::fprintf(stderr, "vexo-bench: %s\n", reason.c_str());
  return 2;
}

int Run(int argc, char** argv) {
  std::string what = "all";
  int records = 512;
  int count = 8;
  int runs = 200;
  int jobs = 4;
  unsigned seed = 1;
  std::vector<int> sizes = {10'000, 100'000, 1'000'000};
  opterr = 0;
  // "-" keeps the benchmark's name wherever it stands; ":" tells a missing value.
  for (int at = 1, code; (code = getopt_long(argc, argv, "-:", kLongOptions, nullptr)) != -1;
       at = optind) {
    const std::string word = at < argc ? std::string(argv[at]) : std::string();
    const std::string name = word.substr(0, word.find('='));
    // Only whole names count: getopt_long would take "--run" for "--runs".
    if (code >= kRecords && name != std::string("--") + kLongOptions[code - kRecords].name) {
      return UsageError("unknown option: " + name);
    }
    switch (code) {
      case kRecords:
        records = std::atoi(optarg);
        break;
      case kCount:
        count = std::atoi(optarg);
        break;
      case kRuns:
        runs = std::atoi(optarg);
        break;
      case kJobs:
        jobs = std::max(1, std::atoi(optarg));
        break;
      case kSeed:
        seed = static_cast<unsigned>(std::strtoul(optarg, nullptr, 10));
        break;
      case kSizes:
        sizes = SizeList(optarg);
        break;
      case kHelp:
        std::puts(kUsage);
        return 0;
      case kWhat:
        what = optarg;
        break;
      case ':':
        return UsageError(name + " needs a value");
      default:
        return UsageError(optopt >= kRecords ? name + " takes no value"
                                             : "unknown option: " + name);
    }
  }
  testing::ScratchDir scratch;
  std::string dir = scratch.File("");
  if (what == "campaign") return Campaign(dir, runs, jobs, seed);
  if (what == "history-scale") return HistoryScale(dir, sizes);
  std::vector<Row> rows;
  if (what == "all" || what == "wire") Wire(rows, dir, records);
  if (what == "all" || what == "overhead") Overhead(rows, dir, records);
  if (what == "all" || what == "load") Load(rows, dir);
  if (what == "all" || what == "scale") Scale(rows, dir, records, count);
  if (what == "all" || what == "history") History(rows, dir, records);
  if (what == "all" || what == "batch") Batch(rows, dir, records, count);
  Print(rows);
  for (const Row& r : rows) {
    if (!r.met) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace vexo::bench

int main(int argc, char** argv) {
  return vexo::bench::Run(argc, argv);
}
