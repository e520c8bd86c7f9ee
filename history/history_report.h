// The history as text for people and programs: the aligned table of
// `vexo-flash --history`, and CSV and JSON exports carrying every recorded
// field. Pure functions over records; they write to the stream given and
// report nothing else.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "history/job_record.h"

namespace vexo {

inline constexpr std::size_t kTableDigestChars = 12;

// "2026-12-09 03:44:17Z".
std::string UtcTimeText(std::int64_t utc_ms);
// "12.4 s", "3:07", "1:02:03"; "-" for a job that did not end.
std::string DurationText(std::int64_t ms);
// "completed", or with what the user should know: "completed, not confirmed,
// at 9600".
std::string ResultSummary(const JobRecord& record);

// One line per record under a header, columns padded to the widest cell
// (wide East Asian characters count two).
void WriteHistoryTable(std::ostream& out, const std::vector<JobRecord>& records);
// A header line of field names, then one line per record; phases as
// "name/start/duration/retries/sent/received" joined by ';', messages by ';'.
void WriteHistoryCsv(std::ostream& out, const std::vector<JobRecord>& records);
// An array of objects, one per record.
void WriteHistoryJson(std::ostream& out, const std::vector<JobRecord>& records);

}  // namespace vexo
