// vexo-flash against vexo-radio-sim over a pseudo-terminal: the bytes the
// radio received, the lines the technician reads and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/process_state.h"
#include "app/text_ids.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"

namespace vexo {
namespace {

using testing::RunResult;
using testing::SimProcess;
using testing::SimResult;
using testing::T;

constexpr int kRecords = 6;

// vexo-flash run in dir, so that it takes that folder's language file.
RunResult RunFlashIn(const std::string& dir, const std::vector<std::string>& args) {
  std::string command = "cd '" + dir + "' && exec '" + testing::ProgramPath("vexo-flash") + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  return testing::RunProgram("/bin/sh", {"-c", command}, std::chrono::seconds(60));
}

class FlashSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image = testing::MakeImage(kRecords, 0x400);
    testing::WriteFile(workdir.File("fw.BIN"), image);
  }

  // Runs vexo-flash in the scratch working directory (its language file
  // holds "T<id>" texts) against a simulator started with sim_args.
  RunResult Flash(const std::vector<std::string>& sim_args, std::vector<std::string> args) {
    std::vector<std::string> all = {"--erase-ms", "20"};
    all.insert(all.end(), sim_args.begin(), sim_args.end());
    sim = std::make_unique<SimProcess>(all);
    EXPECT_TRUE(sim->ok()) << sim->error();
    args.insert(args.begin(), {"--port", sim->pty_path()});
    std::string command =
        "cd '" + workdir.path() + "' && exec '" + testing::ProgramPath("vexo-flash") + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    RunResult run = testing::RunProgram("/bin/sh", {"-c", command}, std::chrono::seconds(60));
    result = sim->Stop();
    EXPECT_TRUE(result.report) << result.error_output;
    return run;
  }

  std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::vector<sim::ReportEvent> Messages(std::string_view kind) {
    return result.report ? result.report->Select(sim::kEventMessage, kind)
                         : std::vector<sim::ReportEvent>{};
  }

  // Every record's data is in the simulator's flash.
  bool FlashHoldsImage() {
    if (!result.report) return false;
    const auto& flash = result.report->flash;
    for (int i = 0; i < kRecords; ++i) {
      std::size_t at = 36 + 133 * static_cast<std::size_t>(i);
      std::size_t address = 0x400 + 128 * static_cast<std::size_t>(i);
      if (!std::equal(image.begin() + at + 4, image.begin() + at + 132, flash.begin() + address)) {
        return false;
      }
    }
    return true;
  }

  testing::TempWorkdir workdir;
  std::vector<std::uint8_t> image;
  std::unique_ptr<SimProcess> sim;
  SimResult result;
};

TEST_F(FlashSimTest, EraseProgramAt57600) {
  RunResult run = Flash({}, {"--baud", "57600", "fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 0) << run.error_output;
  EXPECT_EQ(Lines(run.error_output), std::vector<std::string>{T(text::kDownloadComplete)});
  EXPECT_TRUE(FlashHoldsImage());
  auto programs = Messages("program");
  ASSERT_EQ(programs.size(), static_cast<std::size_t>(kRecords));
  for (const auto& p : programs) EXPECT_EQ(p.rate, 57600);
  EXPECT_TRUE(Messages("read_request").empty());
  EXPECT_EQ(Messages("closing").size(), 1u);
  EXPECT_EQ(Messages("finish").size(), 1u);
  EXPECT_EQ(Messages("bpsset")[0].bytes.back(), '3');
}

TEST_F(FlashSimTest, VerifiedDownloadAt115200WithRunReplies) {
  image = testing::MakeImage(kRecords, 0x400, 0, true);
  testing::WriteFile(workdir.File("fw.BIN"), image);
  RunResult run =
      Flash({"--run-replies"}, {"--baud", "115200", "--verify", "--log", "t.log", "fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 0) << run.error_output;
  EXPECT_TRUE(FlashHoldsImage());
  auto reads = Messages("read_request");
  ASSERT_FALSE(reads.empty());
  EXPECT_LT(reads.size(), static_cast<std::size_t>(kRecords));  // runs stood for pages
  EXPECT_EQ(reads[0].rate, 115200);
  std::string log = testing::ReadWholeFile(workdir.File("t.log"));
  const std::string header = log.substr(0, log.find("\r\n") + 2);
  EXPECT_EQ(header.rfind("# VEXO ", 0), 0u) << header;
  for (const char* part : {"mode E.P.R", "rate 115200", "6 records", "0 trailing bytes"}) {
    EXPECT_NE(header.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(log.substr(header.size(), 25), "S:55 AA 03 57 00 00 5A \r\n");
  EXPECT_NE(log.find("R:45 \r\nS:45 \r\nR:06 \r\n"), std::string::npos);
}

TEST_F(FlashSimTest, ProbeAnsweredOnlyAt4800) {
  RunResult run = Flash({"--probe-rate", "4800"}, {"--baud", "19200", "fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 0) << run.error_output;
  auto probes = Messages("probe_a");
  ASSERT_FALSE(probes.empty());
  EXPECT_EQ(probes.back().rate, 4800);
  EXPECT_EQ(Messages("probe_b").at(0).rate, 4800);
  EXPECT_EQ(Messages("firmwar").at(0).rate, 9600);
  // the probes at 9600 reached the radio at a rate it was not listening at
  EXPECT_EQ(probes.size(), 1u);
  EXPECT_GE(result.report->Select(sim::kEventIgnored).size(), 3u);
}

TEST_F(FlashSimTest, DowningRefusedKeepsTheJobAt9600) {
  RunResult run = Flash({"--downing-reply", "15"}, {"--baud", "57600", "fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 0) << run.error_output;
  EXPECT_EQ(Lines(run.error_output),
            (std::vector<std::string>{T(text::kExchangeFailed), T(text::kDownloadComplete)}));
  EXPECT_TRUE(Messages("bpsset").empty());
  for (const auto& p : Messages("program")) EXPECT_EQ(p.rate, 9600);
  EXPECT_TRUE(FlashHoldsImage());
}

TEST_F(FlashSimTest, EraseAnsweredWithAnotherByte) {
  RunResult run = Flash({"--erase-reply", "45"}, {"fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 1);
  EXPECT_EQ(Lines(run.error_output), std::vector<std::string>{T(text::kEraseRefused)});
  EXPECT_TRUE(Messages("program").empty());
}

TEST_F(FlashSimTest, RecordNeverEchoed) {
  RunResult run = Flash({"--no-echo", "2"}, {"fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 1);
  EXPECT_EQ(Lines(run.error_output), std::vector<std::string>{T(text::kNoReplyInTime)});
  auto programs = Messages("program");
  ASSERT_EQ(programs.size(), 5u);  // records 0 and 1, then record 2 three times
  EXPECT_EQ(programs[2].bytes, programs[4].bytes);
}

TEST_F(FlashSimTest, EchoLostOnceStillSucceeds) {
  RunResult run = Flash({"--no-echo", "1:1"}, {"--verify", "fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 0) << run.error_output;
  EXPECT_EQ(Messages("program").size(), kRecords + 1u);
  EXPECT_TRUE(FlashHoldsImage());
}

TEST_F(FlashSimTest, ReadBackChecksumWrong) {
  RunResult run = Flash({"--corrupt-page-sum", "0"}, {"--verify", "fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 1);
  EXPECT_EQ(Lines(run.error_output), std::vector<std::string>{T(text::kReadBackChecksum)});
}

TEST_F(FlashSimTest, FlashByteDifferingIsCaught) {
  RunResult run =
      Flash({"--corrupt-flash", std::to_string(0x400 + 128 * 3 + 77)}, {"--verify", "fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 1);
  EXPECT_EQ(Lines(run.error_output), std::vector<std::string>{T(text::kFlashDiffers)});
  EXPECT_TRUE(Messages("closing").empty());
}

TEST_F(FlashSimTest, ClosingFrameUnanswered) {
  RunResult run = Flash({"--closing-silent"}, {"fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 0);
  EXPECT_EQ(Lines(run.error_output),
            (std::vector<std::string>{T(text::kNoReplyInTime), T(text::kExchangeFailed),
                                      T(text::kDownloadComplete)}));
  EXPECT_EQ(Messages("closing").size(), 3u);
  EXPECT_TRUE(Messages("finish").empty());
}

TEST_F(FlashSimTest, MissingAndShortFilesSendNothing) {
  RunResult run = Flash({}, {"nothing.BIN"});
  EXPECT_EQ(run.end.exit_code, 1);
  EXPECT_EQ(Lines(run.error_output), std::vector<std::string>{T(text::kFileMissing)});
  EXPECT_TRUE(result.report && result.report->Select(sim::kEventMessage).empty());

  testing::WriteFile(workdir.File("short.BIN"), std::vector<std::uint8_t>(36 + 132, 7));
  run = Flash({}, {"short.BIN"});
  EXPECT_EQ(run.end.exit_code, 1);
  EXPECT_EQ(Lines(run.error_output), std::vector<std::string>{T(text::kFileUnreadable)});
  EXPECT_TRUE(result.report && result.report->Select(sim::kEventMessage).empty());
}

TEST(FlashSeveralRadios, EightRadiosAtOnceAgainstEightSimulators) {
  testing::TempWorkdir workdir;
  auto image = testing::MakeImage(kRecords, 0x400);
  testing::WriteFile(workdir.File("fw.BIN"), image);
  std::vector<std::unique_ptr<SimProcess>> sims;
  std::vector<std::string> args = {"--verify", "--baud", "115200"};
  for (int i = 0; i < 8; ++i) {
    sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{"--erase-ms", "20"}));
    ASSERT_TRUE(sims.back()->ok()) << sims.back()->error();
    args.push_back("--port");
    args.push_back(sims.back()->pty_path());
  }
  args.push_back("--port");
  args.push_back(workdir.File("no-such-device"));
  args.push_back(workdir.File("fw.BIN"));
  RunResult run = RunFlashIn(workdir.path(), args);
  EXPECT_EQ(run.end.exit_code, 1) << "one port failed, so the run as a whole did not complete";
  for (auto& sim : sims) {
    SimResult result = sim->Stop();
    ASSERT_TRUE(result.report);
    EXPECT_EQ(result.report->sessions, 1);
    const auto& flash = result.report->flash;
    EXPECT_TRUE(
        std::equal(image.begin() + 36 + 4, image.begin() + 36 + 132, flash.begin() + 0x400));
    // every radio's success is told under its own port name
    EXPECT_NE(run.error_output.find(sim->pty_path() + ": " + T(text::kDownloadComplete) + "\n"),
              std::string::npos);
  }
  // the summary: one row per port
  EXPECT_EQ(std::count(run.error_output.begin(), run.error_output.end(), '\n') >= 9, true);
  EXPECT_NE(run.error_output.find("no-such-device  failed"), std::string::npos) << run.error_output;
}

TEST(FlashCommandLine, ListingAndUsage) {
  testing::TempWorkdir workdir;
  testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(3));
  RunResult run =
      testing::RunProgram(testing::ProgramPath("vexo-flash"), {"--list", workdir.File("fw.BIN")});
  EXPECT_EQ(run.end.exit_code, 0);
  std::istringstream lines(run.output);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_EQ(line.size(), 272u);
    EXPECT_EQ(line.substr(0, 4), "S:50");
  }
  EXPECT_EQ(count, 3);

  // Nothing named and nothing saved: a usage error, not a download that fails.
  run = RunFlashIn(workdir.path(), {});
  EXPECT_EQ(run.end.exit_code, 2);
  EXPECT_EQ(run.error_output.substr(0, 50), "vexo-flash: no firmware file given and none saved\n");
  run = RunFlashIn(workdir.path(), {"fw.BIN"});
  EXPECT_EQ(run.end.exit_code, 2);
  EXPECT_EQ(run.error_output.substr(0, 41), "vexo-flash: no port given and none saved\n");

  run = testing::RunProgram(testing::ProgramPath("vexo-flash"), {"--baud", "300"});
  EXPECT_EQ(run.end.exit_code, 2);
  EXPECT_EQ(run.error_output.substr(0, 36), "vexo-flash: unsupported rate: 300 (9");
  EXPECT_NE(run.error_output.find("usage: vexo-flash"), std::string::npos);
}

}  // namespace
}  // namespace vexo
