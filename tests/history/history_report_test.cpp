#include "history/history_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/history/history_test_support.h"

namespace vexo {
namespace {

using testing::SampleJob;

// Splits CSV lines (CRLF) into fields, honouring quotes.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
      rows.back().back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      rows.back().emplace_back();
    } else if (!quoted && c == '\r' && text[i + 1] == '\n') {
      rows.emplace_back(1);
      ++i;
    } else {
      rows.back().back() += c;
    }
  }
  rows.pop_back();  // after the last line break
  return rows;
}

TEST(HistoryReport, CsvAndJsonCarryAwkwardTextIntact) {
  JobRecord job = SampleJob(3);
  job.firmware_path = "/srv/fw/a, \"b\"\nc.BIN";
  job.usb_product = std::string(
      "bad\xff"
      "byte");
  std::ostringstream csv;
  WriteHistoryCsv(csv, {job, SampleJob(4)});
  const auto rows = ParseCsv(csv.str());
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_EQ(rows[1].size(), rows[0].size());
  const auto column = [&](const char* name) {
    return std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin();
  };
  EXPECT_EQ(rows[1][column("firmware_path")], job.firmware_path);
  EXPECT_EQ(rows[1][column("phases")],
            "handshake/1765000180000/120/1/16/24;erase/1765000180120/900/0/8/2");
  EXPECT_EQ(rows[1][column("message_ids")], "6011;3025");
  EXPECT_EQ(rows[2][column("port_chosen")], "COM4");

  std::ostringstream json;
  WriteHistoryJson(json, {job});  // a byte that is not UTF-8 must not lose the export
  const nlohmann::json parsed = nlohmann::json::parse(json.str());
  EXPECT_EQ(parsed[0]["firmware_path"], job.firmware_path);
  EXPECT_EQ(parsed[0]["first_difference"], 0x08000400);
}

// A cell a spreadsheet would run as a formula is kept as text; a name with a
// byte that is not UTF-8 reads the same in CSV and JSON, the byte as \xNN.
TEST(HistoryReport, ExportsNeutraliseFormulasAndEscapeBytesThatAreNotUtf8) {
  const std::string formulas[] = {"=1+1", "+1", "-1", "@SUM(A1)", "\tx", "\rx"};
  std::vector<JobRecord> jobs;
  for (const std::string& formula : formulas) {
    JobRecord job = SampleJob(1);
    job.usb_serial = formula;
    job.exit_status = -1;
    jobs.push_back(job);
  }
  jobs[0].firmware_path = "/fw/r\xe9gion-\xff.BIN";
  std::ostringstream csv;
  WriteHistoryCsv(csv, jobs);
  const auto rows = ParseCsv(csv.str());
  ASSERT_EQ(rows.size(), jobs.size() + 1);
  const auto column = [&](const char* name) {
    return std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin();
  };
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_EQ(rows[i + 1][column("usb_serial")], "'" + formulas[i]);
    EXPECT_EQ(rows[i + 1][column("exit_status")], "-1");  // a number stays a number
  }
  EXPECT_EQ(rows[1][column("firmware_path")], "/fw/r\\xE9gion-\\xFF.BIN");

  std::ostringstream json;
  WriteHistoryJson(json, jobs);
  const nlohmann::json parsed = nlohmann::json::parse(json.str());
  ASSERT_EQ(parsed.size(), jobs.size());
  EXPECT_EQ(parsed[0]["firmware_path"], "/fw/r\\xE9gion-\\xFF.BIN");
  EXPECT_EQ(parsed[1]["usb_serial"], "+1");  // JSON is not a spreadsheet
  std::ostringstream empty;
  WriteHistoryJson(empty, {});
  EXPECT_EQ(nlohmann::json::parse(empty.str()), nlohmann::json::array());
}

TEST(HistoryReport, TableColumnsLineUpWithWideNames) {
  JobRecord wide = SampleJob(1);
  wide.firmware_path = "/fw/固件.BIN";
  wide.result = JobResult::kCompleted;
  wide.closing_confirmed = false;
  wide.ended_utc_ms = wide.started_utc_ms + 83'000;
  JobRecord arrow = SampleJob(1);
  arrow.firmware_path = "/fw/a→b.BIN";
  std::ostringstream table;
  WriteHistoryTable(table, {wide, SampleJob(2), arrow});
  std::istringstream lines(table.str());
  std::string header, first, second, third;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  std::getline(lines, third);
  EXPECT_NE(first.find("固件.BIN bbbbbbbbbbbb"), std::string::npos) << first;
  EXPECT_NE(first.find("completed, not confirmed, at 9600"), std::string::npos);
  EXPECT_NE(first.find("1:23"), std::string::npos);
  // "固件" is two bytes wider than it is drawn: 6 bytes for 4 cells.
  EXPECT_EQ(first.find("E.P.R") - 2, second.find("E.P.R"));
  // "→" is drawn in one cell: 3 bytes for 1.
  EXPECT_EQ(third.find("E.P.R") - 2, second.find("E.P.R")) << third;
  EXPECT_EQ(header.find("mode"), second.find("E.P.R"));
}

}  // namespace
}  // namespace vexo
