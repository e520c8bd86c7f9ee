// vexo-bench history-scale: histories of growing size (built straight into
// the file, chained with the real digest) and what each costs the user: the
// start of a job, `--history 20`, `--history-check`, the CSV and JSON exports
// (time and the exporting process's peak memory) and the History dialog's
// first rows. Runs the programs as children; prints nothing itself.
#pragma once

#include <string>
#include <vector>

namespace vexo::bench {

struct HistoryScaleFigures {
  int rows = 0;
  double build_s = 0;         // writing the rows added for this size
  double job_start_ms = 0;    // median: open for recording and write the first row
  double list_ms = 0;         // vexo-flash --history 20
  double check_ms = 0;        // vexo-flash --history-check
  bool check_intact = false;  // and it said "intact"
  double csv_s = 0;
  double csv_peak_mb = 0;
  double json_s = 0;
  double json_peak_mb = 0;
  double dialog_first_rows_ms = -1;  // -1: no window program (built without Qt)
  double dialog_open_ms = 0;         // of which opening the file, as the dialog does
  std::string error;
};

// One entry per size, ascending; each history grows the one before it.
std::vector<HistoryScaleFigures> RunHistoryScale(const std::vector<int>& sizes,
                                                 const std::string& scratch);

}  // namespace vexo::bench
