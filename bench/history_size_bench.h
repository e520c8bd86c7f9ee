// How the size of the history weighs on a job: the start of a job that
// records (open the file, write its first row) and its finish (link the row
// into the chain), against a history already holding N finished rows. Runs
// in the calling thread; failures are returned in `error`.
#pragma once

#include <cstdint>
#include <string>

namespace vexo::bench {

inline constexpr std::int64_t kHistorySizeRows = 1'000'000;

struct HistorySizeRun {
  bool ok = false;
  std::string error;
  double fill_seconds = 0;     // writing the N rows (not a figure of the product)
  double start_ms_median = 0;  // JobRecorder::Start
  double start_ms_worst = 0;
  double finish_ms_median = 0;  // JobRecorder::Finish
};

HistorySizeRun RunHistorySize(const std::string& scratch, std::int64_t rows);

}  // namespace vexo::bench
