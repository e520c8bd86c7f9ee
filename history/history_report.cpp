#include "history/history_report.h"

#include <locale.h>
#include <wchar.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <filesystem>

#include "history/job_fields.h"
#include "history/record_json.h"
#include "history/safe_text.h"

namespace vexo {
namespace {

// Columns the CSV adds to the record's exported fields: its times as text.
constexpr const char* kCsvTimeColumns[] = {"started_utc", "ended_utc"};

// CSV columns in reading order; each is a member of the exported object.
const std::vector<std::string>& CsvColumns() {
  static const std::vector<std::string> columns = [] {
    std::vector<std::string> list;
    for (const JobField& field : JobFields())
      if (field.InExport()) list.push_back(field.name);
    list.insert(list.end(), std::begin(kCsvTimeColumns), std::end(kCsvTimeColumns));
    return list;
  }();
  return columns;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

// The first member: nlohmann::json keeps members in name order.
constexpr char kJsonExportStart[] = "[\n  {\n    \"chain_hash\": ";
constexpr char kEmptyJsonExport[] = "[]";

// Cells made from texts may be taken for formulas; numbers may not.
std::string CsvCell(const nlohmann::json& value);

std::string CsvValue(const nlohmann::json& value) {
  if (value.is_null()) return {};
  if (value.is_string()) return value.get<std::string>();
  if (value.is_array()) {
    std::string joined;
    for (const nlohmann::json& item : value) {
      if (!joined.empty()) joined += ';';
      if (!item.is_object()) {
        joined += CsvValue(item);
        continue;
      }
      const char* separator = "";
      for (const PhaseField& field : PhaseFields()) {
        joined += separator + CsvValue(item[field.name]);
        separator = "/";
      }
    }
    return joined;
  }
  return JsonText(value);
}

std::string CsvCell(const nlohmann::json& value) {
  if (value.is_number() || value.is_boolean()) return CsvValue(value);
  return SpreadsheetText(CsvValue(value));
}

// Every text of an exported object with its bytes that are not UTF-8 as \xNN.
void EscapeTexts(nlohmann::json& json) {
  if (json.is_string()) {
    const std::string& text = json.get_ref<const std::string&>();
    // ASCII is UTF-8 already: most texts need no copy.
    if (std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; }))
      json = Utf8Text(text);
  } else if (json.is_structured()) {
    for (nlohmann::json& item : json) EscapeTexts(item);
  }
}

nlohmann::json ExportJson(const JobRecord& record) {
  nlohmann::json json = RecordExportJson(record);
  EscapeTexts(json);
  return json;
}

// Texts are measured in a UTF-8 locale of this thread's own, whatever the
// process's: the history is UTF-8 under every locale.
class Utf8Ctype {
 public:
  Utf8Ctype() : previous_(utf8_ ? uselocale(utf8_) : nullptr) {}
  ~Utf8Ctype() {
    if (previous_) uselocale(previous_);
  }
  Utf8Ctype(const Utf8Ctype&) = delete;
  Utf8Ctype& operator=(const Utf8Ctype&) = delete;

 private:
  static inline const locale_t utf8_ = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  locale_t previous_;
};

// Columns of the table by how a terminal draws them, wcwidth(3) per
// character: wide East Asian characters take two cells, combining marks none.
// Not wcswidth over the whole text, which gives up at the first character it
// cannot print; such a character, and a byte that is not UTF-8, count one.
std::size_t DisplayWidth(const std::string& text) {
  const Utf8Ctype utf8;
  std::size_t width = 0;
  std::mbstate_t state{};
  for (std::size_t i = 0; i < text.size();) {
    wchar_t c = 0;
    const std::size_t length = std::mbrtowc(&c, text.data() + i, text.size() - i, &state);
    if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) {
      state = {};
      ++width;
      ++i;
      continue;
    }
    const int cells = wcwidth(c);
    width += cells < 0 ? 1 : static_cast<std::size_t>(cells);
    i += length == 0 ? 1 : length;
  }
  return width;
}

std::string PortCell(const JobRecord& r) {
  return r.usb_serial.empty() ? r.port_chosen : r.port_chosen + " " + r.usb_serial;
}

std::string FileCell(const JobRecord& r) {
  return std::filesystem::path(r.firmware_path).filename().string() + " " +
         r.firmware_sha256.substr(0, kTableDigestChars);
}

}  // namespace

std::string UtcTimeText(std::int64_t utc_ms) {
  const std::time_t seconds = static_cast<std::time_t>(utc_ms / 1000);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%SZ", &parts);
  return text;
}

std::string DurationText(std::int64_t ms) {
  if (ms <= 0) return "-";
  char text[32];
  const std::int64_t s = ms / 1000;
  if (s < 60)
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  else if (s < 3600)
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(s / 60), static_cast<int>(s % 60));
  else
    std::snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
  return text;
}

std::string ResultSummary(const JobRecord& record) {
  std::string summary(JobResultText(record.result));
  if (record.result != JobResult::kCompleted) return summary;
  if (!record.closing_confirmed) summary += ", not confirmed";
  if (record.downing_declined) summary += ", at 9600";
  return summary;
}

void WriteHistoryTable(std::ostream& out, const std::vector<JobRecord>& records) {
  using Row = std::array<std::string, 7>;
  std::vector<Row> rows{{"time", "port", "file", "mode", "result", "duration", "message"}};
  for (const JobRecord& r : records) {
    rows.push_back({UtcTimeText(r.started_utc_ms), TerminalText(PortCell(r)),
                    TerminalText(FileCell(r)), std::string(JobModeText(r.mode)), ResultSummary(r),
                    DurationText(r.DurationMs()),
                    r.message_ids.empty() ? "-" : std::to_string(r.message_ids.back())});
  }
  Row::size_type columns = std::tuple_size_v<Row>;
  std::array<std::size_t, 7> widths{};
  for (const Row& row : rows)
    for (std::size_t c = 0; c < columns; ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < columns; ++c) {
      line += row[c];
      if (c + 1 < columns) line += std::string(widths[c] - DisplayWidth(row[c]) + 2, ' ');
    }
    out << line << '\n';
  }
}

HistoryCsvWriter::HistoryCsvWriter(std::ostream& out) : out_(out) {
  std::string header;
  for (const std::string& column : CsvColumns()) header += (header.empty() ? "" : ",") + column;
  out_ << header << "\r\n";
}

void HistoryCsvWriter::Write(const JobRecord& r) {
  nlohmann::json json = ExportJson(r);
  json[kCsvTimeColumns[0]] = UtcTimeText(r.started_utc_ms);
  json[kCsvTimeColumns[1]] = r.ended_utc_ms > 0 ? UtcTimeText(r.ended_utc_ms) : "";
  std::string line;
  for (const std::string& column : CsvColumns()) {
    if (&column != &CsvColumns().front()) line += ',';
    line += CsvField(CsvCell(json[column]));
  }
  out_ << line << "\r\n";
}

HistoryJsonWriter::HistoryJsonWriter(std::ostream& out) : out_(out) {
  out_ << '[';
}

// Each object as it would stand inside the whole array: one level deeper.
void HistoryJsonWriter::Write(const JobRecord& record) {
  std::string text = JsonText(ExportJson(record), 2);
  std::string indented = "  ";
  for (char c : text) {
    indented += c;
    if (c == '\n') indented += "  ";
  }
  out_ << (empty_ ? "\n" : ",\n") << indented;
  empty_ = false;
}

void HistoryJsonWriter::Finish() {
  out_ << (empty_ ? "]\n" : "\n]\n");
}

bool IsHistoryExportStart(const std::string& first_bytes) {
  return first_bytes.rfind(kCsvHeaderStart, 0) == 0 ||
         first_bytes.rfind(kJsonExportStart, 0) == 0 ||
         first_bytes.substr(0, first_bytes.find_first_of("\r\n")) == kEmptyJsonExport;
}

void WriteHistoryCsv(std::ostream& out, const std::vector<JobRecord>& records) {
  HistoryCsvWriter writer(out);
  for (const JobRecord& r : records) writer.Write(r);
}

void WriteHistoryJson(std::ostream& out, const std::vector<JobRecord>& records) {
  HistoryJsonWriter writer(out);
  for (const JobRecord& r : records) writer.Write(r);
  writer.Finish();
}

}  // namespace vexo
