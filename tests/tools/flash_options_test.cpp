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
      {{"--port"}, "--port needs a port name"},
      {{"--fast"}, "unknown option: --fast"},
      {{"a.BIN", "b.BIN"}, "more than one firmware file given"},
      {{"--verify=yes"}, "--verify takes no value"},
  };
  for (const auto& c : cases) {
    ParsedOptions p = ParseFlashOptions(c.args);
    EXPECT_EQ(p.error.substr(0, c.reason.size()), c.reason) << c.args[0];
  }
}

TEST(ProgressLine, ShowsPercentRecordsAndTimes) {
  testing::FakeClock clock;
  ProgressLine line(stderr, false, clock);
  line.SetPhase("Programming");
  line.SetRange(0, 99);
  clock.now += 10'000;
  line.SetPosition(24);
  EXPECT_EQ(line.Text(), "Programming  25%  25/100 records  00:10 elapsed, 00:30 left");
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
