// vexo-flash --check against the simulated radio: the probe finds the rate
// the radio answers at and sends nothing but probe A; a silent radio fails
// the check. The system folders are an empty scratch tree, so that what this
// computer has installed does not decide the outcome.
#include <gtest/gtest.h>

#include <fstream>

#include "download/radio_probe.h"
#include "tests/tools/sim_process.h"
#include "tools/flash/flash_options.h"

namespace vexo {
namespace {

using testing::RunProgram;
using testing::SimProcess;

TEST(SetupCheckCommand, ProbeTellsTheRadiosRateAndSendsOnlyProbeA) {
  SimProcess sim({"--probe-rate", "2400"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  testing::ScratchDir root;
  const testing::RunResult run =
      RunProgram(testing::ProgramPath("vexo-flash"),
                 {"--check", "--probe", "--port", sim.pty_path(), "--system-root", root.File("")});
  EXPECT_EQ(run.end.exit_code, kExitCompleted) << run.output << run.error_output;
  EXPECT_NE(run.output.find("ok      " + sim.pty_path() +
                            ": opens and takes 9600, 19200, 38400, "
                            "57600, 115200, 1200, 2400, 4800 baud\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(
      run.output.find("ok      " + sim.pty_path() + ": the radio answers the probe at 2400 baud\n"),
      std::string::npos)
      << run.output;

  const testing::SimResult result = sim.Stop();
  ASSERT_TRUE(result.report) << result.report_json;
  const auto messages = result.report->Select(sim::kEventMessage);
  ASSERT_FALSE(messages.empty());
  for (const sim::ReportEvent& message : messages) EXPECT_EQ(message.kind, "probe_a");
}

TEST(SetupCheckCommand, SilentRadioFailsTheCheck) {
  SimProcess sim({"--probe-rate", "none"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  testing::ScratchDir root;
  const testing::RunResult run =
      RunProgram(testing::ProgramPath("vexo-flash"),
                 {"--check", "--probe", "--port", sim.pty_path(), "--system-root", root.File("")});
  EXPECT_EQ(run.end.exit_code, kExitStopped) << run.output;
  EXPECT_NE(run.output.find("problem " + sim.pty_path() + ": no radio answered the probe"),
            std::string::npos)
      << run.output;
}

TEST(SetupCheckCommand, ProbeGoesOnlyWithCheck) {
  EXPECT_FALSE(ParseFlashOptions({"--probe"}).error.empty());
  const ParsedOptions parsed = ParseFlashOptions({"--check", "--probe", "--port", "COM2"});
  EXPECT_TRUE(parsed.error.empty()) << parsed.error;
  EXPECT_TRUE(parsed.options.check && parsed.options.probe);
}

// At 115200 baud a 16 ms latency timer about doubles an E.P.R: the figure is
// what tells the user whether fixing it is worth the trouble.
TEST(SetupCheckCommand, LatencyCostFollowsTheFirmwaresRecordCount) {
  EXPECT_EQ(LatencyCostText(16, std::nullopt),
            "An E.P.R of 512 records (64 KiB) at 115200 baud takes up to 34.4 s instead of 18.0 "
            "s: each of its 1024 exchanges waits up to 16 ms more for the adapter.");
  testing::ScratchDir dir;
  const std::string firmware = dir.File("fw.BIN");
  std::ofstream(firmware) << std::string(36 + 133 * 100 + 50, '\0');  // header, 100 records, rest
  EXPECT_EQ(FirmwareRecordCount(firmware), 100);
  EXPECT_EQ(FirmwareRecordCount(dir.File("missing.BIN")), std::nullopt);
  const std::string cost = LatencyCostText(16, FirmwareRecordCount(firmware));
  EXPECT_NE(cost.find("this firmware (100 records)"), std::string::npos) << cost;
  EXPECT_NE(cost.find("its 200 exchanges"), std::string::npos) << cost;
}

}  // namespace
}  // namespace vexo
