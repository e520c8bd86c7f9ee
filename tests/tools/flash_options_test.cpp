#include "tools/flash/flash_options.h"

#include <gtest/gtest.h>

#include "tests/support/fake_port.h"
#include "tools/flash/console_host.h"
#include "tools/flash/progress_line.h"

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

TEST(FileLog, CountsLikeTheBoxButKeepsEveryLine) {
  std::FILE* file = std::tmpfile();
  FileLog log(file);
  log.AppendLine("S:02 \r\n");
  EXPECT_EQ(log.TextLength(), 7u);
  log.Empty();
  EXPECT_EQ(log.TextLength(), 0u);
  log.AppendLine("R:\r\n");
  std::rewind(file);
  char buffer[64] = {};
  std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
  EXPECT_EQ(std::string(buffer, n), "S:02 \r\nR:\r\n");
  std::fclose(file);
}

}  // namespace
}  // namespace vexo
