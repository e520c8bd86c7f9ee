#include "tools/flash/flash_options.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/fake_port.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "tools/flash/console_host.h"
#include "tools/flash/progress_line.h"
#include "tools/flash/stop_rule.h"
#include "tools/flash/traffic_log.h"

namespace vexo {
namespace {

TEST(FlashOptions, TheContractsOptions) {
  ParsedOptions p = ParseFlashOptions(
      {"--port", "COM3", "--baud=115200", "--verify", "--log", "x.log", "fw.BIN"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.ports, std::vector<std::string>{"COM3"});
  EXPECT_EQ(p.options.baud, 115200);
  EXPECT_TRUE(p.options.verify);
  EXPECT_EQ(p.options.log_path, "x.log");
  EXPECT_EQ(p.options.firmware, "fw.BIN");
  EXPECT_FALSE(p.options.list);

  p = ParseFlashOptions({"--port=/dev/ttyUSB0", "--port", "com12", "--list"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.ports, (std::vector<std::string>{"/dev/ttyUSB0", "com12"}));
  EXPECT_TRUE(p.options.list);
  EXPECT_FALSE(p.options.firmware);

  // The file may come first; an optional count is the next word only when a number.
  p = ParseFlashOptions({"fw.BIN", "-h", "--history", "7"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.firmware, "fw.BIN");
  EXPECT_TRUE(p.options.help);
  EXPECT_EQ(p.options.history_list, 7);
  p = ParseFlashOptions({"--history", "fw.BIN", "--history-export", "csv", "-"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.history_list, kDefaultHistoryRows);
  EXPECT_EQ(p.options.firmware, "fw.BIN");
  EXPECT_EQ(p.options.history_export_file, "-");
  p = ParseFlashOptions({"--history=3", "--", "-odd.BIN"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.history_list, 3);
  EXPECT_EQ(p.options.firmware, "-odd.BIN");
}

TEST(FlashOptions, UsageErrorsSayWhy) {
  const struct {
    std::vector<std::string> args;
    std::string reason;
  } cases[] = {
      {{"--baud", "4800"}, "unsupported rate: 4800"},
      {{"--baud", "57600x"}, "unsupported rate: 57600x"},
      {{"--baud"}, "--baud needs a rate"},
      {{"--port", "ttyUSB0"}, "not a port name: ttyUSB0"},
      {{"--port", "COM0"}, "not a port name: COM0"},
      {{"--port", "com17"}, "not a port name: com17 (use COM1..COM16"},
      {{"--port", "COM99999999999999"}, "not a port name: COM99999999999999 ("},
      {{"--port"}, "--port needs a port name"},
      {{"--fast"}, "unknown option: --fast"},
      {{"--ver"}, "unknown option: --ver"},  // no abbreviations
      {{"--status-lines"}, "unknown option: --status-lines"},
      {{"-x"}, "unknown option: -x"},
      {{"--log="}, "--log needs a file name"},
      {{"--history", "--history-export", "xml", "f"}, "--history-export needs csv or json"},
      {{"a.BIN", "b.BIN"}, "more than one firmware file given"},
      {{"--verify=yes"}, "--verify takes no value"},
      {{"--history-check", "--expect-head", "5:abc"}, "--expect-head takes a chain head"},
      {{"--history-check", "--expect-head=" + std::string(64, 'a')}, "--expect-head takes"},
      {{"--expect-head", "1:" + std::string(64, 'a')}, "--expect-head goes with --history-check"},
  };
  for (const auto& c : cases) {
    ParsedOptions p = ParseFlashOptions(c.args);
    EXPECT_EQ(p.error.substr(0, c.reason.size()), c.reason) << c.args[0];
  }
}

TEST(FlashOptions, NothingToFlashOrNowhereIsAUsageError) {
  const struct {
    std::vector<std::string> args;
    std::string saved_firmware, saved_port, error, port;
  } cases[] = {
      {{}, "", "COM1", "no firmware file given and none saved", ""},
      {{"fw.BIN"}, "", "", "no port given and none saved", ""},
      {{}, "saved.BIN", "", "no port given and none saved", ""},
      {{"fw.BIN"}, "", "COM17", "the saved port is not a port name: COM17 (use COM1..COM16", ""},
      {{"fw.BIN"}, "", "COM3", "", "COM3"},
      {{"--list", "fw.BIN"}, "", "", "", ""},
      {{"--check"}, "", "", "", ""},
      {{"--port", "COM1", "--port", "COM2"}, "saved.BIN", "", "", ""},
  };
  for (const auto& c : cases) {
    FlashTarget target =
        ResolveFlashTarget(ParseFlashOptions(c.args).options, c.saved_firmware, c.saved_port);
    EXPECT_EQ(target.error.substr(0, c.error.size()), c.error) << c.saved_port;
    EXPECT_EQ(target.error.empty(), c.error.empty()) << target.error;
    if (c.error.empty()) {
      EXPECT_EQ(target.port, c.port);
    }
  }
}

TEST(ProgressLine, ShowsPercentRecordsAndTimes) {
  testing::FakeClock clock;
  clock.now = 3'600'000;  // long after boot
  ProgressLine line(stderr, false, clock);
  // Before its first phase (a port still connecting) the line counts from its making.
  clock.now += 2'000;
  EXPECT_EQ(line.Text(), "  00:02");
  line.SetPhase("Programming");
  line.SetRange(0, 100);
  clock.now += 10'000;
  line.SetPosition(25);  // records echoed
  EXPECT_EQ(line.Text(), "Programming  25%  25/100 records  00:10 elapsed, 00:30 left");
  line.SetPosition(99);  // the last one not yet
  EXPECT_EQ(line.Text().substr(0, 37), "Programming  99%  99/100 records  00:");
  EXPECT_EQ(FormatDuration(3'725'000), "1:02:05");
}

TEST(TrafficLog, CountsLikeTheBoxButKeepsEveryLineWithItsTime) {
  testing::TempWorkdir dir;
  testing::FakeClock clock;
  TrafficLog log(LogTimes::on, clock);
  ASSERT_FALSE(log.Open(dir.File("t.log")));
  log.WriteComment("VEXO header");
  clock.now += 1532;
  log.AppendLine("S:02 \r\n");
  EXPECT_EQ(log.TextLength(), 7u);
  log.Empty();
  EXPECT_EQ(log.TextLength(), 0u);
  log.AppendLine("R:\r\n");
  EXPECT_EQ(testing::ReadWholeFile(dir.File("t.log")),
            "# VEXO header\r\n+1532 S:02 \r\n+1532 R:\r\n");
}

TEST(TrafficLog, NeverOverwritesWhatIsNotALog) {
  testing::TempWorkdir dir;
  const std::string firmware = dir.File("fw.BIN");
  testing::WriteFile(firmware, {1, 2, 3});
  std::filesystem::create_symlink(firmware, dir.File("link.log"));
  testing::WriteFile(dir.File("notes.txt"), {'h', 'i', '\n'});
  testing::WriteFile(dir.File("old.log"), {'S', ':', '0', '2', ' ', '\r', '\n'});
  testing::WriteFile(dir.File("empty.log"), {});
  const std::vector<std::string> keep = {firmware, dir.File("system.ini")};
  EXPECT_TRUE(LogPathRefusal(firmware, keep));
  EXPECT_TRUE(LogPathRefusal(dir.File("link.log"), keep));  // the same file by another name
  EXPECT_TRUE(LogPathRefusal(dir.File("notes.txt"), keep));
  EXPECT_FALSE(LogPathRefusal(dir.File("old.log"), keep));
  EXPECT_FALSE(LogPathRefusal(dir.File("empty.log"), keep));
  EXPECT_FALSE(LogPathRefusal(dir.File("new.log"), keep));
  EXPECT_TRUE(IsLogLine("+12 R:06 "));
  EXPECT_FALSE(IsLogLine("+ S:06 "));
}

TEST(StopRule, OneRequestBeforeTheEraseSecondWithinFiveSecondsAfter) {
  StopRule before;
  EXPECT_EQ(before.OnRequest(0, false), StopDecision::stop);
  StopRule after;
  EXPECT_EQ(after.OnRequest(1000, true), StopDecision::warn);
  EXPECT_EQ(after.OnRequest(7000, true), StopDecision::warn);  // too late: warned anew
  EXPECT_EQ(after.OnRequest(12000, true), StopDecision::stop);
}

}  // namespace
}  // namespace vexo
