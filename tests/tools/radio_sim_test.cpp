// The simulated boot loader: its engine on injected time (framing, answers,
// timing, faults, report, options, test images), then the program itself on
// a pseudo-terminal, driven through the product's own serial port and frame
// exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/clock.h"
#include "link/cmscomm.h"
#include "link/frame_exchange.h"
#include "link/hex_text.h"
#include "tests/link/pty_pair.h"
#include "tests/support/fake_port.h"
#include "tests/tools/sim_process.h"
#include "tools/radio_sim/boot_loader.h"
#include "tools/radio_sim/message_reader.h"
#include "tools/radio_sim/report.h"
#include "tools/radio_sim/sim_options.h"
#include "tools/radio_sim/simulator.h"
#include "tools/radio_sim/test_image.h"

namespace vexo::sim {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> Hex(std::string_view hex) {
  return BytesOfHex(hex).value();
}
std::vector<std::uint8_t> Ascii(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> ProgramMessage(std::uint32_t address, std::uint8_t fill) {
  std::vector<std::uint8_t> m = {kProgramLead,
                                 static_cast<std::uint8_t>(address >> 24),
                                 static_cast<std::uint8_t>(address >> 16),
                                 static_cast<std::uint8_t>(address >> 8),
                                 static_cast<std::uint8_t>(address),
                                 kProgramLength};
  for (std::size_t i = 0; i < kRecordDataBytes; ++i)
    m.push_back(static_cast<std::uint8_t>(fill + i));
  m.push_back(ByteSum(m));
  return m;
}

std::vector<std::uint8_t> ClosingFrame() {
  std::vector<std::uint8_t> m = ProgramMessage(kClosingAddress, 0x00);
  EXPECT_EQ(m.back(), 0x8C);
  return m;
}

std::vector<std::uint8_t> EchoTest() {
  std::vector<std::uint8_t> m = {kEchoLead};
  for (int i = 0; i < 128; ++i) m.push_back(static_cast<std::uint8_t>(i));
  return m;
}

std::vector<std::string> Kinds(const std::vector<Framed>& framed) {
  std::vector<std::string> out;
  for (const Framed& f : framed)
    out.push_back(f.kind ? std::string(KindName(*f.kind)) : "-" + HexOf(f.bytes));
  return out;
}

// ---- Framing ---------------------------------------------------------------

TEST(MessageReaderTest, FramesMessagesThatArriveInPieces) {
  MessageReader reader(50ms);
  std::vector<std::uint8_t> program = ProgramMessage(0x1200, 0x10);
  reader.Push(std::span(program).first(10), 0us, 9600);
  EXPECT_TRUE(reader.Take().empty());
  reader.Push(std::span(program).subspan(10), 1000us, 9600);
  reader.Push(kProbeA, 2000us, 9600);
  std::vector<Framed> out = reader.Take();
  EXPECT_EQ(Kinds(out), (std::vector<std::string>{"program", "probe_a"}));
  EXPECT_EQ(out[0].first, 0us);
  EXPECT_EQ(out[0].last, 1000us);
  EXPECT_EQ(out[0].bytes, program);
}

TEST(MessageReaderTest, DropsWhatStartsNoMessageAndReadsOnAfterIt) {
  MessageReader reader(50ms);
  reader.Push(Hex("9955AA0357"), 0us, 9600);
  reader.Push(Hex("00005A"), 0us, 9600);
  reader.Push(Ascii("DOXDALL"), 0us, 9600);
  reader.Push(Hex("52120000521200FF"), 0us, 9600);
  reader.Push(Hex("55AA03590000"), 0us, 9600);
  reader.Push(Ascii("FIRMWAR"), 0us, 9600);
  EXPECT_EQ(Kinds(reader.Take()),
            (std::vector<std::string>{"-99", "probe_a", "-444F58", "erase_all", "-52120000",
                                      "read_request", "-55AA03590000", "firmwar"}));
}

TEST(MessageReaderTest, BpssetTakesADigitOrCountsAsCodeLess) {
  MessageReader reader(50ms);
  reader.Push(Ascii("BPSSET3"), 0us, 9600);
  reader.Push(Ascii("BPSSETFIRMWAR"), 0us, 9600);
  EXPECT_EQ(Kinds(reader.Take()), (std::vector<std::string>{"bpsset", "bpsset_plain", "firmwar"}));

  reader.Push(Ascii("BPSSET"), 10ms, 9600);
  EXPECT_EQ(reader.Deadline(), 60ms);
  reader.Expire(59ms);
  EXPECT_TRUE(reader.Take().empty());
  reader.Expire(60ms);
  EXPECT_EQ(Kinds(reader.Take()), (std::vector<std::string>{"bpsset_plain"}));

  reader.Push(EchoTest(), 0us, 9600);  // 0x42 but not "BP": the echo test
  EXPECT_EQ(Kinds(reader.Take()), (std::vector<std::string>{"echo_test"}));
}

TEST(MessageReaderTest, PartialMessageIsDroppedAfterSilence) {
  MessageReader reader(50ms);
  std::vector<std::uint8_t> program = ProgramMessage(0, 0);
  reader.Push(std::span(program).first(100), 0us, 9600);
  reader.Expire(50ms);
  std::vector<Framed> out = reader.Take();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_FALSE(out[0].kind);
  EXPECT_EQ(out[0].drop_reason, "incomplete");
  reader.Push(program, 60ms, 9600);
  EXPECT_EQ(Kinds(reader.Take()), (std::vector<std::string>{"program"}));
}

// ---- Answers ---------------------------------------------------------------

struct AnswerCase {
  const char* name;
  MessageKind kind;
  std::vector<std::uint8_t> message;
  std::string reply;  // hex
  std::optional<int> rate_after;
};

TEST(BootLoaderTest, AnswersEveryMessage) {
  const std::vector<AnswerCase> cases = {
      {"probe A", MessageKind::probe_a, {kProbeA.begin(), kProbeA.end()}, "06", {}},
      {"probe B", MessageKind::probe_b, {kProbeB.begin(), kProbeB.end()}, "06", {}},
      {"FIRMWAR", MessageKind::firmwar, Ascii("FIRMWAR"), "06", {}},
      {"DOWNING", MessageKind::downing, Ascii("DOWNING"), "16", {}},
      {"identity", MessageKind::identity, {kIdentityLead}, "5658424F4F540220", {}},
      {"BPSSET 57600", MessageKind::bpsset, Ascii("BPSSET3"), "42505333", 57600},
      {"BPSSET 115200", MessageKind::bpsset, Ascii("BPSSET4"), "42505334", 115200},
      {"BPSSET unknown code", MessageKind::bpsset, Ascii("BPSSET7"), "42505337", {}},
      {"BPSSET code-less", MessageKind::bpsset_plain, Ascii("BPSSET"), "42505354", {}},
      {"echo test", MessageKind::echo_test, EchoTest(), HexOf(EchoTest()), {}},
      {"erase", MessageKind::erase_all, Ascii("DALL"), "44", {}},
      {"45 out of place", MessageKind::finish, {kFinishLead}, "", {}},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    BootLoader loader{SimConfig()};
    Response r = loader.Handle(c.kind, c.message);
    EXPECT_EQ(HexOf(r.reply), c.reply);
    EXPECT_EQ(r.rate_after, c.rate_after);
  }
}

TEST(BootLoaderTest, ProgramsTheFlashAndClosesTheSession) {
  SimConfig config;
  config.flash_size = 0x1000;
  config.erase_time = 7ms;
  config.write_time = 2ms;
  BootLoader loader(config);
  EXPECT_EQ(loader.flash().bytes()[0x1200 % 0x1000], 0x00);  // never erased

  Response erase = loader.Handle(MessageKind::erase_all, Ascii("DALL"));
  EXPECT_EQ(erase.work, 7ms);
  EXPECT_EQ(loader.flash().Read(0, 0x1000), std::vector<std::uint8_t>(0x1000, 0xFF));

  std::vector<std::uint8_t> record = ProgramMessage(0x0F80, 0x20);  // the last 128 bytes
  Response echo = loader.Handle(MessageKind::program, record);
  EXPECT_EQ(HexOf(echo.reply), "5000000F8080");
  EXPECT_EQ(echo.work, 2ms);
  EXPECT_EQ(loader.flash().Read(0x0F80, 128),
            std::vector<std::uint8_t>(record.begin() + 6, record.end() - 1));

  std::vector<std::uint8_t> bad_sum = ProgramMessage(0x0100, 0x20);
  bad_sum.back() ^= 1;
  EXPECT_TRUE(loader.Handle(MessageKind::program, bad_sum).reply.empty());
  EXPECT_EQ(loader.flash().bytes()[0x0100], 0xFF);
  Response beyond = loader.Handle(MessageKind::program, ProgramMessage(0x0F81, 0));
  EXPECT_TRUE(beyond.reply.empty());
  EXPECT_EQ(beyond.note, "beyond the flash");

  EXPECT_EQ(HexOf(loader.Handle(MessageKind::closing, ClosingFrame()).reply), "45");
  Response finish = loader.Handle(MessageKind::finish, Hex("45"));
  EXPECT_EQ(HexOf(finish.reply), "06");
  EXPECT_TRUE(finish.session_complete);
  EXPECT_EQ(HexOf(loader.Handle(MessageKind::finish, Hex("45")).reply), "06");  // a repeat
  loader.Handle(MessageKind::firmwar, Ascii("FIRMWAR"));
  EXPECT_TRUE(loader.Handle(MessageKind::finish, Hex("45")).reply.empty());
}

TEST(BootLoaderTest, ReadsPagesAndRuns) {
  SimConfig config;
  config.flash_size = 0x1080;
  config.run_replies = true;
  BootLoader loader(config);
  loader.Handle(MessageKind::erase_all, Ascii("DALL"));
  loader.Handle(MessageKind::program, ProgramMessage(0x0100, 0x30));

  Response page = loader.Handle(MessageKind::read_request, Hex("520100FF"));
  ASSERT_EQ(page.reply.size(), kPageReplyBytes);
  EXPECT_EQ(HexOf(std::span(page.reply).first(4)), "57000100");
  EXPECT_EQ(page.reply[4], 0x30);
  EXPECT_EQ(page.reply[4 + 128], 0xFF);
  EXPECT_EQ(page.reply.back(), ByteSum(std::span(page.reply).first(260)));

  // One blank page before a written one is no run (the least is 2 pages).
  EXPECT_EQ(loader.Handle(MessageKind::read_request, Hex("520000FF")).reply.size(),
            kPageReplyBytes);
  // Pages 0x200..0xF00 are blank and whole; the one at 0x1000 crosses the end.
  EXPECT_EQ(HexOf(loader.Handle(MessageKind::read_request, Hex("520200FF")).reply),
            "7702000EFF" + HexOf(std::vector<std::uint8_t>{ByteSum(Hex("7702000EFF"))}));
  // Near the end: what lies past the flash reads as FF, in a page reply.
  Response tail = loader.Handle(MessageKind::read_request, Hex("521000FF"));
  ASSERT_EQ(tail.reply.size(), kPageReplyBytes);
  EXPECT_EQ(std::vector<std::uint8_t>(tail.reply.begin() + 4, tail.reply.end() - 1),
            std::vector<std::uint8_t>(256, 0xFF));

  SimConfig big;
  big.run_replies = true;
  BootLoader full(big);
  full.Handle(MessageKind::erase_all, Ascii("DALL"));
  EXPECT_EQ(full.Handle(MessageKind::read_request, Hex("520000FF")).reply[3], 255);  // capped
}

TEST(BootLoaderTest, RecordFaultsHitTheChosenRecordsAndAttempts) {
  SimConfig config;
  config.faults.no_echo = {{1, 2}};
  config.faults.wrong_echo = {{2, 0}};
  config.faults.corrupt_flash = {0x0105};
  config.faults.hang_up_after = 3;
  BootLoader loader(config);
  auto send = [&](std::uint32_t address) {
    return loader.Handle(MessageKind::program, ProgramMessage(address, 0));
  };
  EXPECT_EQ(HexOf(send(0x0000).reply), "500000000080");
  EXPECT_TRUE(send(0x0080).reply.empty());               // record 1, attempt 1
  EXPECT_TRUE(send(0x0080).reply.empty());               // attempt 2
  EXPECT_EQ(HexOf(send(0x0080).reply), "500000008080");  // attempt 3
  EXPECT_EQ(HexOf(send(0x0100).reply), "50000001007F");  // record 2, wrong every time
  Response again = send(0x0100);
  EXPECT_EQ(HexOf(again.reply), "50000001007F");
  EXPECT_FALSE(again.hang_up);  // a repeat of the last record before the hang-up
  EXPECT_EQ(loader.flash().bytes()[0x0105], 5 ^ 0x01);
  EXPECT_EQ(loader.flash().bytes()[0x0104], 4);
  Response fourth = send(0x0180);
  EXPECT_TRUE(fourth.reply.empty());
  EXPECT_TRUE(fourth.hang_up);

  config.faults.hang_up_after = 1;
  BootLoader early(config);
  EXPECT_FALSE(early.Handle(MessageKind::program, ProgramMessage(0, 0)).hang_up);
  EXPECT_TRUE(early.Handle(MessageKind::closing, ClosingFrame()).hang_up);
}

TEST(BootLoaderTest, ReplyFaults) {
  SimConfig config;
  config.faults.downing_reply = 0x15;
  config.faults.erase_reply.reset();
  config.faults.corrupt_page_data = {0};
  config.faults.corrupt_page_sum = {1};
  config.faults.closing_silent = true;
  config.run_replies = true;
  config.faults.run_zero = true;
  BootLoader loader(config);
  EXPECT_EQ(HexOf(loader.Handle(MessageKind::downing, Ascii("DOWNING")).reply), "15");
  EXPECT_TRUE(loader.Handle(MessageKind::erase_all, Ascii("DALL")).reply.empty());
  loader.Handle(MessageKind::program, ProgramMessage(0, 0x40));

  std::vector<std::uint8_t> data_hit =
      loader.Handle(MessageKind::read_request, Hex("520000FF")).reply;
  EXPECT_EQ(data_hit[4], 0x41);
  EXPECT_EQ(data_hit.back(), ByteSum(std::span(data_hit).first(260)));  // the sum still fits
  std::vector<std::uint8_t> sum_hit =
      loader.Handle(MessageKind::read_request, Hex("520000FF")).reply;
  EXPECT_EQ(sum_hit[4], 0x40);
  EXPECT_NE(sum_hit.back(), ByteSum(std::span(sum_hit).first(260)));
  EXPECT_EQ(HexOf(loader.Handle(MessageKind::read_request, Hex("520100FF")).reply),
            "77010000FF" + HexOf(std::vector<std::uint8_t>{ByteSum(Hex("77010000FF"))}));

  EXPECT_TRUE(loader.Handle(MessageKind::closing, ClosingFrame()).reply.empty());
  EXPECT_EQ(HexOf(loader.Handle(MessageKind::finish, Hex("45")).reply), "06");
  config.faults.finish_silent = true;
  BootLoader quiet(config);
  quiet.Handle(MessageKind::closing, ClosingFrame());
  EXPECT_TRUE(quiet.Handle(MessageKind::finish, Hex("45")).reply.empty());
}

// ---- Timing, rates and line faults -----------------------------------------

// Bytes written by the simulator up to and including time t.
std::string Written(Simulator& sim, SimTime t) {
  std::string hex;
  for (const LineAction& a : sim.Run(t)) {
    if (a.type == LineAction::Type::write) hex += HexOf(a.bytes);
  }
  return hex;
}

TEST(SimulatorTest, PacedLineTakesTenBitTimesPerByteBothWays) {
  SimConfig config;
  config.pace = true;
  Simulator sim(config);
  const SimTime byte = ByteTime(9600);
  EXPECT_EQ(byte, 1042us);
  sim.Receive(Ascii("FIRMWAR"), 9600, 0us);
  EXPECT_EQ(Written(sim, 7 * byte - 1us), "");
  EXPECT_EQ(sim.NextWake(), 7 * byte);  // received when its last byte would have arrived
  EXPECT_EQ(Written(sim, 8 * byte - 1us), "");
  EXPECT_EQ(Written(sim, 8 * byte), "06");  // the reply's byte took its time too

  sim.Receive(Hex("02"), 9600, 10ms);
  const SimTime received = 10ms + byte;
  EXPECT_EQ(Written(sim, received + 3 * byte), "565842");
  EXPECT_EQ(Written(sim, received + 8 * byte), "4F4F540220");
}

TEST(SimulatorTest, TheLoaderIsDeafWhileItErases) {
  SimConfig config;
  config.erase_time = 100ms;
  Simulator sim(config);
  sim.Receive(Ascii("DALL"), 9600, 0us);
  EXPECT_EQ(Written(sim, 0us), "");
  EXPECT_EQ(sim.NextWake(), 100ms);
  sim.Receive(Ascii("DALL"), 9600, 50ms);  // a host that gave up early sends again
  EXPECT_EQ(Written(sim, 100ms), "44");
  EXPECT_EQ(Written(sim, 300ms), "");  // the repeat was lost
  std::vector<ReportEvent> events = sim.report().events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].event, "ignored");
  EXPECT_EQ(events[1].note, "loader busy");
  EXPECT_EQ(events[2].at, 100ms);  // the reply
}

TEST(SimulatorTest, UnderstandsOnlyBytesAtItsOwnRate) {
  Simulator sim{SimConfig()};
  sim.Receive(Ascii("FIRMWAR"), 19200, 0us);
  EXPECT_EQ(Written(sim, 1ms), "");
  sim.Receive(Ascii("BPSSET4"), 9600, 2ms);
  EXPECT_EQ(Written(sim, 2ms), "42505334");
  EXPECT_EQ(sim.rate(), 115200);
  sim.Receive(Ascii("FIRMWAR"), 9600, 3ms);
  EXPECT_EQ(Written(sim, 4ms), "");
  sim.Receive(Ascii("FIRMWAR"), 115200, 5ms);
  EXPECT_EQ(Written(sim, 5ms), "06");
  // A probe at the start rate begins a new handshake: back to 9600.
  sim.Receive(kProbeA, 9600, 6ms);
  EXPECT_EQ(Written(sim, 6ms), "06");
  EXPECT_EQ(sim.rate(), 9600);

  std::vector<ReportEvent> ignored;
  for (const ReportEvent& e : sim.report().events()) {
    if (e.event == "ignored") ignored.push_back(e);
  }
  ASSERT_EQ(ignored.size(), 2u);
  EXPECT_EQ(ignored[0].rate, 19200);
  EXPECT_EQ(ignored[0].bytes, Ascii("FIRMWAR"));
  EXPECT_EQ(ignored[1].kind, "firmwar");
  EXPECT_EQ(ignored[1].rate, 9600);
}

TEST(SimulatorTest, ProbesAreAnsweredAtTheProbeRateOnly) {
  SimConfig config;
  config.faults.probe_rate = 4800;
  Simulator sim(config);
  sim.Receive(kProbeA, 9600, 0us);
  EXPECT_EQ(Written(sim, 0us), "");
  sim.Receive(kProbeA, 2400, 1ms);
  EXPECT_EQ(Written(sim, 1ms), "");
  sim.Receive(kProbeA, 4800, 2ms);
  sim.Receive(kProbeB, 4800, 3ms);
  EXPECT_EQ(Written(sim, 3ms), "0606");
  EXPECT_EQ(sim.rate(), 9600);

  config.faults.probe_rate.reset();
  Simulator deaf(config);
  deaf.Receive(kProbeA, 9600, 0us);
  EXPECT_EQ(Written(deaf, 1ms), "");
}

TEST(SimulatorTest, SplitRepliesLeaveInPiecesWithPauses) {
  SimConfig config;
  config.faults.split_pieces = 3;
  config.faults.split_pause = 10ms;
  config.faults.split_kinds.reset().set(static_cast<std::size_t>(MessageKind::identity));
  Simulator sim(config);
  sim.Receive(Hex("02"), 9600, 0us);
  EXPECT_EQ(Written(sim, 0us), "5658");
  EXPECT_EQ(Written(sim, 9ms), "");
  EXPECT_EQ(Written(sim, 10ms), "424F4F");
  EXPECT_EQ(Written(sim, 20ms), "540220");
  sim.Receive(EchoTest(), 9600, 30ms);  // not a chosen kind
  EXPECT_EQ(Written(sim, 30ms), HexOf(EchoTest()));
}

TEST(SimulatorTest, ExtraBytesFollowRepliesOfTheChosenKinds) {
  SimConfig config;
  config.faults.extra = {0xAA, 0xBB};
  config.faults.extra_kinds.reset().set(static_cast<std::size_t>(MessageKind::program));
  Simulator sim(config);
  sim.Receive(ProgramMessage(0x80, 1), 9600, 0us);
  sim.Receive(Ascii("FIRMWAR"), 9600, 1ms);
  EXPECT_EQ(Written(sim, 1ms), "500000008080AABB06");
}

TEST(SimulatorTest, NoiseIsRepeatableWithItsSeed) {
  SimConfig config;
  config.faults.corrupt_rate = 0.3;
  config.faults.noise = NoiseDirection::out;
  config.faults.seed = 7;
  auto run = [&config] {
    Simulator sim(config);
    sim.Receive(EchoTest(), 9600, 0us);
    return Written(sim, 0us);
  };
  std::string first = run();
  EXPECT_EQ(first, run());
  EXPECT_EQ(first.size(), 2 * kEchoBytes);
  EXPECT_NE(first, HexOf(EchoTest()));

  config.faults.drop_rate = 1.0;
  config.faults.noise = NoiseDirection::in;
  Simulator deaf(config);
  deaf.Receive(Ascii("FIRMWAR"), 9600, 0us);
  EXPECT_EQ(Written(deaf, 1ms), "");
  EXPECT_EQ(deaf.report().events().at(0).event, "noise");
}

TEST(SimulatorTest, HangUpComesWithTheMessageAfterTheLastEcho) {
  SimConfig config;
  config.faults.hang_up_after = 1;
  Simulator sim(config);
  sim.Receive(ProgramMessage(0, 0), 9600, 0us);
  EXPECT_EQ(Written(sim, 0us), "500000000080");
  sim.Receive(ProgramMessage(0x80, 0), 9600, 1ms);
  std::vector<LineAction> actions = sim.Run(1ms);
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].type, LineAction::Type::hang_up);
  EXPECT_TRUE(sim.hung_up());
  sim.Receive(Ascii("FIRMWAR"), 9600, 2ms);
  EXPECT_TRUE(sim.Run(2ms).empty());
}

// ---- Report, options, images -----------------------------------------------

TEST(SimReportTest, JsonReadsBackAsWritten) {
  Report report;
  report.Add({1234us, "message", "program", 57600, {0x50, 0x00, 0xFF}, "fault: \"odd\"\n→"});
  report.Add({2000us, "port", "", 0, {}, "opened"});
  std::vector<std::uint8_t> flash = {0x00, 0x7F, 0xFF};
  std::optional<ParsedReport> parsed = ParseReport(report.ToJson(flash, 57600, 2));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->flash, flash);
  EXPECT_EQ(parsed->final_rate, 57600);
  EXPECT_EQ(parsed->sessions, 2);
  ASSERT_EQ(parsed->events.size(), 2u);
  const ReportEvent& e = parsed->events[0];
  EXPECT_EQ(e.at, 1234us);
  EXPECT_EQ(e.kind, "program");
  EXPECT_EQ(e.rate, 57600);
  EXPECT_EQ(e.bytes, (std::vector<std::uint8_t>{0x50, 0x00, 0xFF}));
  EXPECT_EQ(e.note, "fault: \"odd\"\n→");
  EXPECT_FALSE(ParseReport("{\"events\": [}"));
  EXPECT_FALSE(ParseReport(R"({"events": [], "flash": "0G"})"));
  // What JSON refuses: an unknown escape, a raw control in a text.
  EXPECT_FALSE(ParseReport(R"({"events": [{"hex": "", "note": "\q"}], "flash": ""})"));
  EXPECT_FALSE(ParseReport("{\"events\": [{\"hex\": \"\", \"note\": \"\n\"}], \"flash\": \"\"}"));
}

TEST(SimOptionsTest, ParsesFaultsAndTiming) {
  std::vector<std::string> args = {"--probe-rate",
                                   "4800",
                                   "--downing-reply=none",
                                   "--erase-reply",
                                   "55",
                                   "--no-echo",
                                   "3:2",
                                   "--no-echo",
                                   "5",
                                   "--split",
                                   "4:15@identity,program",
                                   "--extra",
                                   "0A0B",
                                   "--corrupt-flash",
                                   "0x1234",
                                   "--erase-ms",
                                   "20",
                                   "--pace",
                                   "--flash-size",
                                   "0x8000",
                                   "--seed",
                                   "9",
                                   "--noise",
                                   "out"};
  ParsedOptions parsed = ParseOptions(args);
  ASSERT_TRUE(parsed.options) << parsed.error;
  const SimConfig& c = parsed.options->config;
  EXPECT_EQ(c.faults.probe_rate, 4800);
  EXPECT_FALSE(c.faults.downing_reply);
  EXPECT_EQ(c.faults.erase_reply, 0x55);
  ASSERT_EQ(c.faults.no_echo.size(), 2u);
  EXPECT_EQ(c.faults.no_echo[0].record, 3);
  EXPECT_EQ(c.faults.no_echo[0].attempts, 2);
  EXPECT_EQ(c.faults.no_echo[1].attempts, 0);
  EXPECT_EQ(c.faults.split_pieces, 4);
  EXPECT_EQ(c.faults.split_pause, 15ms);
  EXPECT_EQ(c.faults.split_kinds.count(), 2u);
  EXPECT_EQ(c.faults.extra_kinds, AllKinds());
  EXPECT_EQ(c.faults.corrupt_flash, std::vector<std::uint32_t>{0x1234});
  EXPECT_EQ(c.erase_time, 20ms);
  EXPECT_TRUE(c.pace);
  EXPECT_EQ(c.flash_size, 0x8000u);
  EXPECT_EQ(c.faults.seed, 9u);
  EXPECT_EQ(c.faults.noise, NoiseDirection::out);
}

TEST(SimOptionsTest, RejectsBadValues) {
  const std::vector<std::vector<std::string>> bad = {
      {"--probe-rate", "1234"},
      {"--downing-reply", "1FF"},
      {"--no-echo", "x"},
      {"--split", "3"},
      {"--extra", "ABC"},
      {"--extra", "AB@nothing"},
      {"--drop-rate", "1.5"},
      {"--identity", "0102"},
      {"--erase-ms"},
      {"--once=yes"},
      {"--noise", "sideways"},
      {"--trailing", "133"},
      {"--verb"},
      {"--once", "--"},
      {"image.BIN"},
  };
  for (const std::vector<std::string>& args : bad) {
    SCOPED_TRACE(args[0]);
    ParsedOptions parsed = ParseOptions(args);
    EXPECT_FALSE(parsed.options);
    EXPECT_FALSE(parsed.error.empty());
  }
}

TEST(TestImageTest, HeaderRecordsBlankRunsAndTrailingBytes) {
  ImageLayout layout;
  layout.records = 4;
  layout.base = 0x1000;
  layout.ff_runs = {{1, 2}};
  layout.trailing = 5;
  std::vector<std::uint8_t> image = MakeTestImage(layout);
  ASSERT_EQ(image.size(), kImageHeaderBytes + 4 * kImageRecordBytes + 5);
  for (int i = 0; i < 4; ++i) {
    std::span<const std::uint8_t> record(image.data() + kImageHeaderBytes + i * kImageRecordBytes,
                                         kImageRecordBytes);
    const std::uint32_t address = layout.base + 128 * static_cast<std::uint32_t>(i);
    EXPECT_EQ(record[2], address >> 8);
    EXPECT_EQ(record[3], address & 0xFF);
    EXPECT_EQ(record.back(), ByteSum(record.first(kImageRecordBytes - 1)));
    const bool blank =
        std::all_of(record.begin() + 4, record.end() - 1, [](std::uint8_t b) { return b == 0xFF; });
    EXPECT_EQ(blank, i == 1 || i == 2) << i;
  }
  EXPECT_EQ(MakeTestImage(layout), image);  // the same seed, the same image
}

// ---- The program on a pseudo-terminal --------------------------------------

using testing::ReadWholeFile;
using testing::RunProgram;
using testing::SimProcess;
using testing::SimProgramPath;
using testing::SimResult;

constexpr int kSilenceMs = 150;  // how long a test listens to be sure nothing comes

std::string AsciiHex(std::string_view text) {
  return TextToHex(text);
}

// The product's serial port and exchange, bound to a simulator's terminal.
class SimOnPtyTest : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> args) {
    sim_.emplace(std::move(args));
    ASSERT_TRUE(sim_->ok()) << sim_->error();
    port_.SetDevicePath(sim_->pty_path());
    PortStatus opened = port_.Open(0, 9600);
    ASSERT_TRUE(opened.ok()) << opened.reason;
  }

  void SetRate(int rate) { ASSERT_TRUE(port_.SetSettings(std::to_string(rate) + ",n,8,1").ok()); }

  // One attempt; the reply as hex, "" when nothing came within limit_ms.
  std::string Ask(const std::string& hex, int reply_bytes, int limit_ms = 2000) {
    std::string reply;
    exchange_.TransmitAndRead(hex, reply, reply_bytes, limit_ms);
    return reply;
  }
  std::string Ask(std::span<const std::uint8_t> bytes, int reply_bytes, int limit_ms = 2000) {
    return Ask(HexOf(bytes), reply_bytes, limit_ms);
  }

  SimResult Stop() {
    port_.Close();
    SimResult result = sim_->Stop();
    EXPECT_TRUE(result.end.exited);
    EXPECT_EQ(result.end.exit_code, 0) << result.error_output;
    EXPECT_TRUE(result.report) << result.report_json.substr(0, 200);
    return result;
  }

  testing::ScratchDir scratch_;
  CMSComm port_;
  testing::FakeLog log_;
  testing::FakeMessages messages_;
  FrameExchange exchange_{port_, log_, messages_, RealClock(), kLogCapDiagnostic};
  std::optional<SimProcess> sim_;
};

std::vector<std::string> MessageKinds(const ParsedReport& report) {
  std::vector<std::string> kinds;
  for (const ReportEvent& e : report.Select("message")) kinds.push_back(e.kind);
  return kinds;
}

TEST_F(SimOnPtyTest, AWholeDownloadWithEveryMessage) {
  ImageLayout layout;
  layout.records = 4;
  layout.base = 0x0100;
  std::vector<std::uint8_t> image = MakeTestImage(layout);
  const std::string dump = scratch_.File("flash.bin");
  Start({"--erase-ms", "20", "--run-replies", "--flash-dump", dump});

  EXPECT_EQ(Ask(kProbeA, 1), "06");
  EXPECT_EQ(Ask(kProbeB, 1), "06");
  EXPECT_EQ(Ask(AsciiHex("FIRMWAR"), 1), "06");
  EXPECT_EQ(Ask(AsciiHex("DOWNING"), 1), "16");
  EXPECT_EQ(Ask("02", 8), "5658424F4F540220");
  EXPECT_EQ(Ask(AsciiHex("BPSSET4"), 4), "42505334");
  SetRate(115200);
  port_.Input();
  EXPECT_EQ(Ask(EchoTest(), 129), HexOf(EchoTest()));
  EXPECT_EQ(Ask(AsciiHex("DALL"), 1), "44");

  for (int i = 0; i < layout.records; ++i) {
    std::vector<std::uint8_t> m = {kProgramLead};
    auto record = image.begin() + kImageHeaderBytes + i * kImageRecordBytes;
    m.insert(m.end(), record, record + 4);
    m.push_back(kProgramLength);
    m.insert(m.end(), record + 4, record + 4 + 128);
    m.push_back(ByteSum(m));
    EXPECT_EQ(Ask(m, 6), HexOf(std::span(m).first(6))) << i;
  }
  std::string page;
  ASSERT_TRUE(exchange_.ExchangeBlock("520100FF", page, 2000));
  ASSERT_EQ(page.size(), 2 * kPageReplyBytes);
  EXPECT_EQ(page.substr(8, 512),
            HexOf(std::span(image).subspan(kImageHeaderBytes + 4, 128)) +
                HexOf(std::span(image).subspan(kImageHeaderBytes + 133 + 4, 128)));
  std::string run;
  ASSERT_TRUE(exchange_.ExchangeBlock("520300FF", run, 2000));
  EXPECT_EQ(run.substr(0, 10), "770300FDFF");  // pages 0x03..0xFF are blank
  EXPECT_EQ(Ask(ClosingFrame(), 1), "45");
  EXPECT_EQ(Ask("45", 1), "06");

  SimResult result = Stop();
  ASSERT_TRUE(result.report);
  const ParsedReport& report = *result.report;
  EXPECT_EQ(
      MessageKinds(report),
      (std::vector<std::string>{"probe_a", "probe_b", "firmwar", "downing", "identity", "bpsset",
                                "echo_test", "erase_all", "program", "program", "program",
                                "program", "read_request", "read_request", "closing", "finish"}));
  EXPECT_EQ(report.Select("reply").size(), 16u);
  EXPECT_EQ(report.Select("message", "bpsset").at(0).rate, 9600);
  EXPECT_EQ(report.Select("message", "echo_test").at(0).rate, 115200);
  EXPECT_EQ(report.Select("reply", "echo_test").at(0).bytes, EchoTest());
  EXPECT_EQ(report.final_rate, 115200);
  EXPECT_EQ(report.sessions, 1);
  ASSERT_EQ(report.flash.size(), 65536u);
  EXPECT_EQ(report.flash[0x00FF], 0xFF);
  for (int i = 0; i < layout.records; ++i) {
    EXPECT_TRUE(std::equal(report.flash.begin() + 0x100 + 128 * i,
                           report.flash.begin() + 0x180 + 128 * i,
                           image.begin() + kImageHeaderBytes + i * kImageRecordBytes + 4));
  }
  EXPECT_EQ(report.flash[0x300], 0xFF);
  std::string dumped = ReadWholeFile(dump);
  EXPECT_EQ(std::vector<std::uint8_t>(dumped.begin(), dumped.end()), report.flash);
}

TEST_F(SimOnPtyTest, BytesSentAtAnotherRateAreIgnored) {
  Start({});
  SetRate(19200);
  EXPECT_EQ(Ask(AsciiHex("FIRMWAR"), 1, kSilenceMs), "");
  SetRate(9600);
  EXPECT_EQ(Ask(AsciiHex("FIRMWAR"), 1), "06");
  SimResult result = Stop();
  ASSERT_TRUE(result.report);
  std::vector<ReportEvent> ignored = result.report->Select("ignored");
  ASSERT_EQ(ignored.size(), 1u);
  EXPECT_EQ(ignored[0].rate, 19200);
  EXPECT_EQ(ignored[0].bytes, Ascii("FIRMWAR"));
  EXPECT_EQ(MessageKinds(*result.report), std::vector<std::string>{"firmwar"});
}

TEST_F(SimOnPtyTest, ProbeRateChoosesWhereProbesAreAnswered) {
  Start({"--probe-rate", "4800"});
  EXPECT_EQ(Ask(kProbeA, 1, kSilenceMs), "");
  SetRate(4800);
  EXPECT_EQ(Ask(kProbeA, 1), "06");
  EXPECT_EQ(Ask(kProbeB, 1), "06");
  SetRate(9600);
  EXPECT_EQ(Ask(AsciiHex("FIRMWAR"), 1), "06");
  Stop();

  Start({"--probe-rate", "none"});
  EXPECT_EQ(Ask(kProbeA, 1, kSilenceMs), "");
  SimResult result = Stop();
  ASSERT_TRUE(result.report);
  EXPECT_EQ(result.report->Select("ignored", "probe_a").size(), 1u);
}

// One simulator per case: its options, then messages and the replies they get
// ("" for none within kSilenceMs).
struct FaultCase {
  const char* name;
  std::vector<std::string> options;
  std::vector<std::pair<std::string, std::string>> exchanges;
};

TEST_F(SimOnPtyTest, ReplyFaultsChangeWhatComesBack) {
  const std::string closing = HexOf(ClosingFrame());
  const std::vector<FaultCase> cases = {
      {"DOWNING answered with 15", {"--downing-reply", "15"}, {{AsciiHex("DOWNING"), "15"}}},
      {"DOWNING unanswered", {"--downing-reply", "none"}, {{AsciiHex("DOWNING"), ""}}},
      {"erase answered with 45",
       {"--erase-ms", "5", "--erase-reply", "45"},
       {{AsciiHex("DALL"), "45"}}},
      {"erase unanswered", {"--erase-ms", "5", "--erase-reply", "none"}, {{AsciiHex("DALL"), ""}}},
      {"identity", {"--identity", "0102030405060708"}, {{"02", "0102030405060708"}}},
      {"closing frame unanswered", {"--closing-silent"}, {{closing, ""}, {"45", "06"}}},
      {"final 45 unanswered", {"--finish-silent"}, {{closing, "45"}, {"45", ""}}},
      {"45 out of place", {}, {{AsciiHex("FIRMWAR"), "06"}, {"45", ""}}},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.options);
    for (const auto& [message, reply] : c.exchanges) {
      EXPECT_EQ(Ask(message, static_cast<int>(std::max<std::size_t>(reply.size() / 2, 1)),
                    reply.empty() ? kSilenceMs : 2000),
                reply);
    }
    Stop();
  }
}

TEST_F(SimOnPtyTest, ExtraBytesComeInTheSameReadAndAreCutByTheExchange) {
  Start({"--extra", "AABB@firmwar"});
  EXPECT_EQ(Ask(AsciiHex("FIRMWAR"), 3), "06AABB");
  std::string reply;
  EXPECT_TRUE(
      exchange_.ExchangeMessage(AsciiHex("FIRMWAR"), reply, 1, 2000, "06", ReportFailure::yes));
  EXPECT_EQ(Ask(AsciiHex("DOWNING"), 1), "16");  // the extra bytes did not linger
}

TEST_F(SimOnPtyTest, RecordFaultsHitTheirRecords) {
  Start({"--no-echo", "1:2", "--wrong-echo", "2", "--corrupt-flash", "0x85"});
  std::vector<std::uint8_t> r0 = ProgramMessage(0x0000, 0);
  std::vector<std::uint8_t> r1 = ProgramMessage(0x0080, 0);
  std::vector<std::uint8_t> r2 = ProgramMessage(0x0100, 0);
  EXPECT_EQ(Ask(r0, 6), "500000000080");
  std::string reply;
  // Two silent attempts, then the echo: the exchange's three attempts suffice.
  EXPECT_TRUE(exchange_.ExchangeMessage(HexOf(r1), reply, 6, kSilenceMs, "500000008080",
                                        ReportFailure::yes));
  EXPECT_EQ(std::count(log_.text.begin(), log_.text.end(), 'S'), 3);
  EXPECT_EQ(Ask(r2, 6), "50000001007F");
  std::string page;
  ASSERT_TRUE(exchange_.ExchangeBlock("520000FF", page, 2000));
  EXPECT_EQ(page.substr(2 * (4 + 0x84), 4), "0404");  // written 04 05, 05 damaged afterwards
  SimResult result = Stop();
  ASSERT_TRUE(result.report);
  EXPECT_EQ(result.report->flash[0x85], 0x05 ^ 0x01);
  std::vector<ReportEvent> programs = result.report->Select("message", "program");
  ASSERT_EQ(programs.size(), 5u);
  EXPECT_EQ(programs[1].note, "fault: no echo");
  EXPECT_EQ(programs[3].note, "fault: flash byte corrupted");
  EXPECT_EQ(programs[4].note, "fault: wrong echo");
}

TEST_F(SimOnPtyTest, ReadFaultsDamageRepliesNotTheFlash) {
  Start({"--erase-ms", "5", "--corrupt-page-data", "0", "--corrupt-page-sum", "1", "--run-replies",
         "--run-zero"});
  EXPECT_EQ(Ask(AsciiHex("DALL"), 1), "44");
  EXPECT_EQ(Ask(ProgramMessage(0x0000, 0x10), 6), "500000000080");
  std::string data_hit;
  ASSERT_TRUE(exchange_.ExchangeBlock("520000FF", data_hit, 2000));
  EXPECT_EQ(data_hit.substr(8, 4), "1111");
  EXPECT_EQ(HexChecksum(data_hit.substr(0, 520)), data_hit.substr(520));
  std::string sum_hit;
  ASSERT_TRUE(exchange_.ExchangeBlock("520000FF", sum_hit, 2000));
  EXPECT_EQ(sum_hit.substr(8, 4), "1011");
  EXPECT_NE(HexChecksum(sum_hit.substr(0, 520)), sum_hit.substr(520));
  std::string run;
  ASSERT_TRUE(exchange_.ExchangeBlock("520100FF", run, 2000));
  EXPECT_EQ(run.substr(0, 10), "77010000FF");
  Stop();
}

TEST_F(SimOnPtyTest, SplitRepliesAreGatheredWhole) {
  Start({"--split", "4:20@echo_test"});
  EXPECT_EQ(Ask(EchoTest(), 129), HexOf(EchoTest()));
  SimResult result = Stop();
  ASSERT_TRUE(result.report);
  EXPECT_EQ(result.report->Select("reply", "echo_test").at(0).note, "fault: split in 4");
}

TEST_F(SimOnPtyTest, SeededNoiseDamagesTheChosenDirection) {
  Start({"--corrupt-rate", "1", "--noise", "out", "--seed", "5"});
  std::string damaged = Ask(AsciiHex("FIRMWAR"), 1);
  EXPECT_EQ(damaged.size(), 2u);
  EXPECT_NE(damaged, "06");
  Stop();

  Start({"--drop-rate", "1", "--noise", "in"});
  EXPECT_EQ(Ask(AsciiHex("FIRMWAR"), 1, kSilenceMs), "");
  SimResult result = Stop();
  ASSERT_TRUE(result.report);
  EXPECT_EQ(result.report->Select("noise").size(), 1u);
  EXPECT_TRUE(result.report->Select("message").empty());
}

TEST_F(SimOnPtyTest, HangUpClosesTheLineAfterTheLastEcho) {
  Start({"--hang-up-after", "1"});
  EXPECT_EQ(Ask(ProgramMessage(0, 0), 6), "500000000080");
  EXPECT_EQ(Ask(ProgramMessage(0x80, 0), 6, kSilenceMs), "");
  std::optional<SimResult> result = sim_->WaitForExit(std::chrono::seconds(10));
  ASSERT_TRUE(result) << "the simulator did not end after hanging up";
  EXPECT_EQ(result->end.exit_code, 0);
  ASSERT_TRUE(result->report);
  EXPECT_EQ(result->report->Select("port").back().note, "hung up");
  EXPECT_EQ(port_.WaitForInput(std::chrono::milliseconds(kSilenceMs)), WaitResult::failed);
}

TEST_F(SimOnPtyTest, OnceEndsAfterACompletedSession) {
  Start({"--once"});
  EXPECT_EQ(Ask(ClosingFrame(), 1), "45");
  EXPECT_EQ(Ask("45", 1), "06");
  port_.Close();
  std::optional<SimResult> result = sim_->WaitForExit(std::chrono::seconds(10));
  ASSERT_TRUE(result) << "the simulator did not end after the session";
  EXPECT_EQ(result->end.exit_code, 0);
  ASSERT_TRUE(result->report);
  EXPECT_EQ(result->report->sessions, 1);
}

TEST_F(SimOnPtyTest, PacedLineServesTheHandshake) {
  Start({"--pace", "--write-ms", "2"});
  EXPECT_EQ(Ask(AsciiHex("FIRMWAR"), 1), "06");
  EXPECT_EQ(Ask(AsciiHex("BPSSET4"), 4), "42505334");
  SetRate(115200);
  EXPECT_EQ(Ask(EchoTest(), 129), HexOf(EchoTest()));
  EXPECT_EQ(Ask(ProgramMessage(0, 0), 6), "500000000080");
  SimResult result = Stop();
  ASSERT_TRUE(result.report);
  // On the simulator's clock the 129 bytes took at least 129 byte times to arrive.
  const ReportEvent echo = result.report->Select("message", "echo_test").at(0);
  const ReportEvent bpsset = result.report->Select("reply", "bpsset").at(0);
  EXPECT_GE(echo.at - bpsset.at, ByteTime(115200) * 129);
}

TEST_F(SimOnPtyTest, WhatTheHostLeftUnreadIsGoneWhenItReopens) {
  Start({"--verbose"});
  EXPECT_EQ(Ask(AsciiHex("FIRMWAR"), 1), "06");
  port_.Output(Ascii("FIRMWAR"));  // its 06 is never read
  ASSERT_EQ(port_.WaitForInput(std::chrono::seconds(2)), WaitResult::input_waiting);
  port_.Close();
  ASSERT_TRUE(sim_->WaitForErrorOutput("[closed]"));
  ASSERT_TRUE(port_.Open(0, 9600).ok());
  EXPECT_EQ(Ask(AsciiHex("DOWNING"), 1), "16");
  SimResult result = Stop();
  ASSERT_TRUE(result.report);
  EXPECT_EQ(result.report->Select("port").at(1).note, "closed");
}

// A serial device stands in for the cable: the test holds the far end (a
// pseudo-terminal's master) and the simulator opens the slave as its port.
TEST(SimOnDeviceTest, ServesADeviceAndSetsItsRate) {
  testing::PtyPair cable;
  ASSERT_TRUE(cable.ok());
  SimProcess sim({"--device", cable.SlavePath()});
  ASSERT_TRUE(sim.ok()) << sim.error();
  EXPECT_EQ(sim.pty_path(), cable.SlavePath());
  ASSERT_TRUE(cable.Write(Ascii("FIRMWAR")));
  EXPECT_EQ(HexOf(cable.Read(1)), "06");
  ASSERT_TRUE(cable.Write(Ascii("BPSSET4")));
  EXPECT_EQ(HexOf(cable.Read(4)), "42505334");
  std::optional<termios> line;
  for (int i = 0; i < 500 && (!line || cfgetospeed(&*line) != B115200); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    line = cable.SlaveSettings();
  }
  ASSERT_TRUE(line);
  EXPECT_EQ(cfgetospeed(&*line), static_cast<speed_t>(B115200));
  ASSERT_TRUE(cable.Write(EchoTest()));
  EXPECT_EQ(HexOf(cable.Read(129)), HexOf(EchoTest()));
  SimResult result = sim.Stop();
  EXPECT_EQ(result.end.exit_code, 0) << result.error_output;
  ASSERT_TRUE(result.report);
  EXPECT_EQ(result.report->Select("message", "echo_test").at(0).rate, 115200);
}

// ---- The command line ------------------------------------------------------

TEST(SimCommandLineTest, HelpExplainsEveryOption) {
  testing::RunResult run = RunProgram(SimProgramPath(), {"--help"});
  EXPECT_EQ(run.end.exit_code, 0);
  for (const char* option : {"--device",
                             "--once",
                             "--pace",
                             "--gap-ms",
                             "--flash-size",
                             "--identity",
                             "--erase-ms",
                             "--write-ms",
                             "--run-replies",
                             "--run-min",
                             "--probe-rate",
                             "--downing-reply",
                             "--erase-reply",
                             "--no-echo",
                             "--wrong-echo",
                             "--extra",
                             "--split",
                             "--corrupt-page-data",
                             "--corrupt-page-sum",
                             "--corrupt-flash",
                             "--run-zero",
                             "--closing-silent",
                             "--finish-silent",
                             "--drop-rate",
                             "--corrupt-rate",
                             "--noise",
                             "--seed",
                             "--hang-up-after",
                             "--report",
                             "--flash-dump",
                             "--verbose",
                             "--make-image",
                             "--records",
                             "--base",
                             "--ff-records",
                             "--trailing"}) {
    EXPECT_NE(run.output.find(std::string("  ") + option + " "), std::string::npos) << option;
  }
}

TEST(SimCommandLineTest, BadOptionGivesUsageAndStatus2) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--no-such-option"},
                                        std::vector<std::string>{"--probe-rate", "1234"}}) {
    testing::RunResult run = RunProgram(SimProgramPath(), args);
    EXPECT_EQ(run.end.exit_code, 2) << args[0];
    EXPECT_NE(run.error_output.find("Usage:"), std::string::npos);
    EXPECT_TRUE(run.output.empty());
  }
}

TEST(SimCommandLineTest, MakeImageWritesTheImageItDescribes) {
  testing::ScratchDir dir;
  const std::string file = dir.File("T.BIN");
  testing::RunResult run =
      RunProgram(SimProgramPath(), {"--make-image", file, "--records", "3", "--base", "0x2000",
                                    "--ff-records", "1:1", "--trailing", "7", "--seed", "4"});
  EXPECT_EQ(run.end.exit_code, 0) << run.error_output;
  ImageLayout layout;
  layout.records = 3;
  layout.base = 0x2000;
  layout.ff_runs = {{1, 1}};
  layout.trailing = 7;
  layout.seed = 4;
  std::string written = ReadWholeFile(file);
  EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), MakeTestImage(layout));
}

}  // namespace
}  // namespace vexo::sim
