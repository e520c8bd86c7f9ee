// Which rows of the history a listing, a page of the History dialog or an
// export walks, and in what order; HistoryStore turns it into SQL, so a
// million rows are sorted and filtered by SQLite rather than in memory.
// A plain value.
#pragma once

#include <string>
#include <vector>

#include "history/job_record.h"

namespace vexo {

enum class JobSortKey {
  kId,  // the order rows were started in
  kStarted,
  kPort,
  kSerial,
  kFileName,  // the firmware file's name without its folder
  kMode,
  kResult,
  kDuration,     // a job that did not end counts 0
  kLastMessage,  // the id of the last message shown; 0 for none
};

enum class SortDirection { kAscending, kDescending };

struct JobSelection {
  JobSortKey sort = JobSortKey::kId;
  SortDirection direction = SortDirection::kAscending;  // rows of equal keys: by id, the same way
  // When not empty, only rows whose chosen port, device, USB serial number,
  // firmware path, digest, mode or result contain it (ASCII letters in either
  // case), or whose result is one of results_also_matching (a host's words
  // for a result may differ from the stored one).
  std::string contains;
  std::vector<JobResult> results_also_matching;
};

}  // namespace vexo
