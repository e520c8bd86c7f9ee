// vexo-radio-sim --replay: a traffic log read as exchanges (line numbers,
// rates, the radio's pauses), its replay on injected time, and the captures
// of tests/replay played against vexo-flash.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/temp_workdir.h"
#include "tests/tools/sim_process.h"
#include "tools/radio_sim/json.h"
#include "tools/radio_sim/replayer.h"

namespace vexo {
namespace {

using namespace std::chrono_literals;
using sim::SimTime;

std::vector<std::uint8_t> Bytes(std::string_view hex) {
  return sim::BytesOfHex(hex).value_or(std::vector<std::uint8_t>{});
}

// Three silent probes at 9600, one answered at 4800, a move to 115200 and an
// erase that took 1.5 s; comments, blank lines and both line ends mixed in.
constexpr std::string_view kSession =
    "# 2026-12-09 vexo-flash, COM3\r\n"              // 1
    "+0 S:55 AA 03 57 00 00 5A \r\n+200 R:\r\n"      // 2, 3
    "S:55 AA 03 57 00 00 5A \r\nR:\r\n"              // 4, 5
    "S:55 AA 03 57 00 00 5A \nR:\n"                  // 6, 7
    "\n"                                             // 8
    "S:55 AA 03 57 00 00 5A \r\nR:06 \r\n"           // 9, 10
    "S:55 AA 03 58 00 00 5B \r\nR:06 \r\n"           // 11, 12
    "S:46 49 52 4D 57 41 52 \r\nR:06 \r\n"           // 13, 14
    "S:42 50 53 53 45 54 34 \r\nR:42 50 53 34 \r\n"  // 15, 16
    "+1000 S:44 41 4C 4C \r\n+2500 R:44 \r\n"        // 17, 18
    "+2510 S:45 \r\n+2512 R:06 \r\n";                // 19, 20

TEST(ReplayLogTest, FollowsTheHostsRatesAndTheRadiosPauses) {
  sim::ParsedLog parsed = sim::ParseReplayLog(kSession);
  ASSERT_TRUE(parsed.log) << parsed.bad_line << ": " << parsed.error;
  const std::vector<sim::LoggedExchange>& e = parsed.log->exchanges;
  ASSERT_EQ(e.size(), 9u);
  std::vector<int> rates, lines;
  for (const sim::LoggedExchange& x : e) {
    rates.push_back(x.rate);
    lines.push_back(x.sent_line);
  }
  EXPECT_EQ(rates, (std::vector<int>{9600, 9600, 9600, 4800, 4800, 9600, 9600, 115200, 115200}));
  EXPECT_EQ(lines, (std::vector<int>{2, 4, 6, 9, 11, 13, 15, 17, 19}));
  EXPECT_EQ(e.back().reply_line, 20);
  // 1.5 s less the five bytes' time on the line at 115200.
  EXPECT_EQ(e[7].reply_delay, 1500ms - sim::ByteTime(115200) * 5);
  // An attempt that was repeated ended at its time limit: no pause to keep.
  EXPECT_EQ(e.front().reply_delay, SimTime(0));
}

TEST(ReplayLogTest, NamesTheFirstLineThatIsNoLogLine) {
  const struct {
    std::string_view text;
    int bad_line;
  } cases[] = {
      {"S:44 \r\nS:45 \r\n", 2},       // an S: where its R: was due
      {"# c\r\nR:06 \r\n", 2},         // an R: without an S:
      {"S:44 \nR:4 \n", 2},            // half a byte
      {"S:44 \n\nR:06 \nhello\n", 4},  // text
      {"+12S:44 \n", 1},               // a time without its blank
      {"S:44 41 4C 4CR:\n", 1},        // bytes run together
  };
  for (const auto& c : cases) {
    sim::ParsedLog parsed = sim::ParseReplayLog(c.text);
    EXPECT_FALSE(parsed.log) << c.text;
    EXPECT_EQ(parsed.bad_line, c.bad_line) << c.text;
  }
  EXPECT_FALSE(sim::ParseReplayLog("# only a header\n").log);
}

// The replay on injected time, as the server drives it.
class ReplayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::ParsedLog parsed = sim::ParseReplayLog(kSession);
    ASSERT_TRUE(parsed.log);
    replayer.emplace(std::move(*parsed.log));
  }

  // Runs until after, collecting what is written and the rate changes.
  void RunUntil(SimTime after) {
    for (std::optional<SimTime> wake = replayer->NextWake(); wake && *wake <= after;
         wake = replayer->NextWake()) {
      now = std::max(now, *wake);
      for (sim::LineAction& a : replayer->Run(now)) {
        if (a.type == sim::LineAction::Type::write) {
          written.insert(written.end(), a.bytes.begin(), a.bytes.end());
          last_write = now;
        }
        if (a.type == sim::LineAction::Type::set_rate) rates.push_back(a.rate);
        if (a.type == sim::LineAction::Type::session_end) ended = true;
      }
    }
    now = std::max(now, after);
  }

  void Send(std::string_view hex, int rate, SimTime pause = 1ms) {
    RunUntil(now + pause);
    replayer->Receive(Bytes(hex), rate, now);
  }

  // The host's side of the first lines of kSession, up to the erase.
  void SendUntilErase() {
    for (int i = 0; i < 3; ++i) Send("55AA035700005A", 9600, 200ms);
    Send("55AA035700005A", 4800);
    Send("55AA035800005B", 4800);
    Send("4649524D574152", 9600);
    Send("42505353455434", 9600);
  }

  std::optional<sim::Replayer> replayer;
  SimTime now{0};
  SimTime last_write{0};
  std::vector<std::uint8_t> written;
  std::vector<int> rates;
  bool ended = false;
};

TEST_F(ReplayerTest, AnswersEachLineAtItsRateAndKeepsTheRadiosPause) {
  SendUntilErase();
  Send("44414C4C", 115200, 10ms);
  const SimTime erase_sent = now;
  RunUntil(now + 5s);
  EXPECT_GE(last_write - erase_sent, 1500ms);
  EXPECT_FALSE(ended);
  Send("45", 115200);
  RunUntil(now + 1s);
  EXPECT_EQ(sim::HexOf(written), "060606425053344406");
  EXPECT_EQ(rates, (std::vector<int>{4800, 9600, 115200}));
  EXPECT_TRUE(ended);
  EXPECT_TRUE(replayer->ran_to_end());
  EXPECT_EQ(replayer->lines_played(), 18);
}

TEST_F(ReplayerTest, StopsAnsweringAtTheFirstDifferenceAndNamesIt) {
  SendUntilErase();
  Send("44414C", 115200);
  Send("41", 115200);  // "DALA": the fourth byte differs
  Send("4C", 115200);  // the rest of it within the gap joins what was got
  Send("44414C4C", 115200, 1s);
  RunUntil(now + 5s);
  EXPECT_EQ(sim::HexOf(written), "06060642505334");
  ASSERT_TRUE(replayer->difference());
  EXPECT_EQ(replayer->difference()->line, 17);
  EXPECT_EQ(sim::HexOf(replayer->difference()->expected), "44414C4C");
  EXPECT_EQ(sim::HexOf(replayer->difference()->got), "44414C414C");
  EXPECT_FALSE(replayer->ran_to_end());
  EXPECT_TRUE(ended);
}

TEST_F(ReplayerTest, TellsARateBytesAfterTheEndAndAHostGoneAsDifferences) {
  Send("55AA035700005A", 4800);  // the log has three attempts at 9600 first
  ASSERT_TRUE(replayer->difference());
  EXPECT_EQ(replayer->difference()->line, 2);
  EXPECT_NE(replayer->difference()->note.find("4800"), std::string::npos);

  SetUp();
  SendUntilErase();
  Send("44414C4C", 115200);
  Send("45", 115200, 3s);
  Send("45", 115200, 1s);
  ASSERT_TRUE(replayer->difference());
  EXPECT_EQ(replayer->difference()->line, 21);
  EXPECT_TRUE(replayer->difference()->expected.empty());

  SetUp();
  Send("55AA035700005A", 9600);
  replayer->NotePort(now, "closed");
  RunUntil(now + 1s);
  EXPECT_FALSE(replayer->difference());  // it may come back
  RunUntil(now + 10s);
  ASSERT_TRUE(replayer->difference());
  EXPECT_EQ(replayer->difference()->line, 4);
}

TEST(ReplayCaptureTest, ALogWithALineOfAnotherKindIsRefusedNamingIt) {
  testing::ScratchDir dir;
  const std::string log = dir.File("session.log");
  std::ofstream(log) << "S:02 \r\nR:56 58 \r\nOK\r\n";
  testing::RunResult run = testing::RunProgram(
      testing::SimProgramPath(), {"--replay", log, "--report", dir.File("report.json")});
  EXPECT_EQ(run.end.exit_code, 2);
  EXPECT_NE(run.error_output.find("session.log:3: not a log line"), std::string::npos)
      << run.error_output;
  std::optional<nlohmann::json> json =
      sim::ParseJson(testing::ReadWholeFile(dir.File("report.json")));
  ASSERT_TRUE(json) << testing::ReadWholeFile(dir.File("report.json"));
  EXPECT_EQ((*json)["replay"].value("bad_line", 0), 3);
}

// A capture's "#" lines that say how it was made and what came of it.
struct CaptureFacts {
  std::string image;     // --make-image options
  std::string firmware;  // or a firmware file beside the capture
  std::vector<std::string> flash_args;
  int exit_code = -1;
  std::string flash_errors;  // vexo-flash's standard error
  int differs_at = 0;        // an edited capture: the line the replay must name
};

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

CaptureFacts FactsOf(const std::string& text) {
  CaptureFacts facts;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto value = [&line](std::string_view key) -> std::optional<std::string> {
      if (!line.starts_with(key)) return std::nullopt;
      return line.substr(key.size());
    };
    if (auto v = value("# image: ")) facts.image = *v;
    if (auto v = value("# firmware: ")) facts.firmware = *v;
    if (auto v = value("# flash: ")) facts.flash_args = Words(*v);
    if (auto v = value("# exit: ")) facts.exit_code = std::stoi(*v);
    if (auto v = value("# stderr: ")) facts.flash_errors += *v + "\n";
    if (auto v = value("# differs-at: ")) facts.differs_at = std::stoi(*v);
  }
  return facts;
}

TEST(ReplayCaptureTest, EveryCaptureReplaysAgainstVexoFlashAsItRan) {
  std::vector<std::filesystem::path> captures;
  for (const auto& entry : std::filesystem::directory_iterator(VEXO_REPLAY_CAPTURES)) {
    if (entry.path().extension() == ".log") captures.push_back(entry.path());
  }
  std::sort(captures.begin(), captures.end());
  ASSERT_GE(captures.size(), 4u);
  for (const std::filesystem::path& capture : captures) {
    SCOPED_TRACE(capture.filename().string());
    CaptureFacts facts = FactsOf(testing::ReadWholeFile(capture));
    testing::TempWorkdir workdir;
    if (!facts.firmware.empty()) {
      std::filesystem::copy_file(capture.parent_path() / facts.firmware, workdir.File("fw.BIN"));
    } else {
      std::vector<std::string> image_args = {"--make-image", workdir.File("fw.BIN")};
      for (std::string& w : Words(facts.image)) image_args.push_back(w);
      ASSERT_EQ(testing::RunProgram(testing::SimProgramPath(), image_args).end.exit_code, 0);
    }

    testing::SimProcess replay({"--replay", capture.string()});
    ASSERT_TRUE(replay.ok()) << replay.error();
    std::vector<std::string> flash_args = {"--port", replay.pty_path()};
    flash_args.insert(flash_args.end(), facts.flash_args.begin(), facts.flash_args.end());
    flash_args.push_back("fw.BIN");
    testing::RunResult flash =
        testing::RunProgramIn(workdir.path(), testing::ProgramPath("vexo-flash"), flash_args);
    std::optional<testing::SimResult> ended = replay.WaitForExit(40s);
    ASSERT_TRUE(ended) << "the replay did not end";
    std::optional<nlohmann::json> json = sim::ParseJson(ended->report_json);
    ASSERT_TRUE(json && json->contains("replay")) << ended->report_json;
    const nlohmann::json* difference = sim::JsonMember((*json)["replay"], "first_difference");
    ASSERT_TRUE(difference);

    if (facts.differs_at != 0) {
      EXPECT_EQ(ended->end.exit_code, 1);
      ASSERT_TRUE(difference->is_object());
      EXPECT_EQ(difference->value("line", 0), facts.differs_at);
      const std::string named =
          capture.filename().string() + ":" + std::to_string(facts.differs_at) + ": ";
      EXPECT_NE(ended->error_output.find(named), std::string::npos) << ended->error_output;
      continue;
    }
    EXPECT_EQ(ended->end.exit_code, 0) << ended->error_output;
    EXPECT_TRUE(difference->is_null()) << ended->report_json;
    EXPECT_EQ((*json)["replay"].value("ran_to_end", false), true);
    EXPECT_EQ(flash.end.exit_code, facts.exit_code);
    EXPECT_EQ(flash.error_output, facts.flash_errors);
  }
}

}  // namespace
}  // namespace vexo
