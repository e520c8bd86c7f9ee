// The history as text for people and programs: the aligned table of
// `vexo-flash --history`, and CSV and JSON exports carrying every recorded
// field, written a row at a time so that an export of any length needs no
// more memory than one row. They write to the stream given and report
// nothing else; the caller checks the stream. Texts are made safe on the way
// out (history/safe_text.h): escaped controls in the table, bytes that are
// not UTF-8 as \xNN in both exports, no formula in a CSV cell.
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
// (as wcwidth(3) counts them: wide East Asian characters two, "→" one).
void WriteHistoryTable(std::ostream& out, const std::vector<JobRecord>& records);
// A header line of field names (kCsvHeaderStart...), then one line per
// record; phases as "name/start/duration/retries/sent/received" joined by
// ';', messages by ';'. Lines end in CRLF.
class HistoryCsvWriter {
 public:
  explicit HistoryCsvWriter(std::ostream& out);  // writes the header
  void Write(const JobRecord& record);

 private:
  std::ostream& out_;
};

// An array of objects, one per record, indented by two; Finish closes it.
class HistoryJsonWriter {
 public:
  explicit HistoryJsonWriter(std::ostream& out);
  void Write(const JobRecord& record);
  void Finish();

 private:
  std::ostream& out_;
  bool empty_ = true;
};

// How an export of ours begins, to tell it from a file that must be kept.
inline constexpr char kCsvHeaderStart[] = "id,started_utc_ms,ended_utc_ms,";
bool IsHistoryExportStart(const std::string& first_bytes);

void WriteHistoryCsv(std::ostream& out, const std::vector<JobRecord>& records);
void WriteHistoryJson(std::ostream& out, const std::vector<JobRecord>& records);

}  // namespace vexo
