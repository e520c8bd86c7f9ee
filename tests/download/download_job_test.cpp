// The whole job against an in-process radio on simulated time: every path
// must end with the port closed, the controls idle and the cursor count zero.
#include "download/download_worker.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/text_ids.h"
#include "download/programmed_addresses.h"
#include "link/hex_text.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_radio.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"

namespace vexo {
namespace {

using testing::FakeClock;
using testing::FakeHost;
using testing::FakeRadio;
using testing::T;
using testing::TempWorkdir;

class DownloadJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.path = "  " + workdir.File("fw.BIN") + " ";
    testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(4));
  }
  int Run() {
    int result = DownloadWorker(host, clock);
    EXPECT_FALSE(host.port.open) << "port left open";
    EXPECT_FALSE(host.controls_busy) << "controls left busy";
    EXPECT_EQ(host.cursor, 0) << "busy cursor left on";
    EXPECT_FALSE(host.indicator) << "indicator left running";
    return result;
  }
  int Count(const std::string& hex) {
    return static_cast<int>(std::count(radio.received.begin(), radio.received.end(), hex));
  }
  std::vector<std::string> Sent(const std::string& lead) {
    std::vector<std::string> out;
    for (const auto& m : radio.received) {
      if (m.rfind(lead, 0) == 0) out.push_back(m);
    }
    return out;
  }

  TempWorkdir workdir;
  FakeClock clock;
  FakeHost host{clock};
  FakeRadio radio{host.port};
};

TEST_F(DownloadJobTest, EraseProgramVerifyRunsEveryPhaseInOrder) {
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kDownloadComplete)});
  std::vector<std::string> expected_order = {
      "55AA035700005A", "55AA035800005B", TextToHex("FIRMWAR"), TextToHex("DOWNING"), "02",
      "42505353455433"};
  EXPECT_TRUE(std::equal(expected_order.begin(), expected_order.end(), radio.received.begin()));
  EXPECT_EQ(radio.records, 4);
  EXPECT_EQ(Sent("52").size(), 4u);
  EXPECT_EQ(radio.received.back(), "45");
  EXPECT_EQ(host.port.settings_log.back(), "57600,n,8,1");
  EXPECT_EQ(ProgrammedAddresses(), (std::vector<std::uint16_t>{0, 128, 256, 384}));
  // Label and controls in the order the user sees them.
  std::vector<std::string> events = host.events;
  auto at = [&](const std::string& e) {
    return std::find(events.begin(), events.end(), e) - events.begin();
  };
  EXPECT_LT(at("status " + T(text::kStatusLoading)), at("controls busy"));
  EXPECT_LT(at("indicator on"), at("indicator off"));
  EXPECT_LT(at("indicator off"), at("status " + T(text::kStatusProgramming)));
  EXPECT_LT(at("status " + T(text::kStatusVerifying)), at("message " + T(text::kDownloadComplete)));
  EXPECT_EQ(events.back(), "controls idle");
  EXPECT_FALSE(host.status_visible);
  EXPECT_EQ(host.progress, 4);  // every page read back
}

TEST_F(DownloadJobTest, EraseProgramSkipsReadBack) {
  host.mode = kModeEraseProgram;
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(Sent("52").empty());
  EXPECT_EQ(radio.received[radio.received.size() - 2].substr(0, 10), "50FFFFFFFF");
  EXPECT_EQ(radio.received[radio.received.size() - 2], "50FFFFFFFF80" + CountingPattern() + "8C");
}

TEST_F(DownloadJobTest, MissingFileShowsOnlyTheMissingText) {
  host.path = "   ";
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kFileMissing)});
  EXPECT_TRUE(radio.received.empty());
  EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "controls busy"), 0);
}

TEST_F(DownloadJobTest, ImagesTheRadioCannotHoldOrVerifyAreRefusedBeforeTheRadio) {
  const struct {
    const char* what;
    std::vector<std::uint8_t> image;
    int mode;
    TextId text;
  } cases[] = {
      {"no whole record", std::vector<std::uint8_t>(36 + 132, 0x55), kModeEraseProgram,
       text::kFileUnreadable},
      {"every record at 0", std::vector<std::uint8_t>(36 + 3 * 133, 0x00), kModeEraseProgram,
       text::kRecordsOverlap},
      {"records half over each other", testing::MakeImage(2, 0x400, 0, false, 64),
       kModeEraseProgram, text::kRecordsOverlap},
      {"verify above 0xFFFF", testing::MakeImage(8, 0x10000), kModeEraseProgramVerify,
       text::kVerifyUnreachable},
      {"verify at 0x80000000", testing::MakeImage(1, 0x80000000u), kModeEraseProgramVerify,
       text::kVerifyUnreachable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost fresh{clock};
    FakeRadio fresh_radio{fresh.port};
    fresh.path = workdir.File("fw.BIN");
    fresh.mode = c.mode;
    testing::WriteFile(fresh.path, c.image);
    EXPECT_EQ(DownloadWorker(fresh, clock), 1);
    EXPECT_EQ(fresh.messages, std::vector<std::string>{T(c.text)});
    EXPECT_TRUE(fresh_radio.received.empty());
    EXPECT_EQ(fresh.port.opens, 0);
    EXPECT_EQ(std::count(fresh.events.begin(), fresh.events.end(), "controls busy"), 0);
  }
}

TEST_F(DownloadJobTest, EraseProgramStillWritesRecordsAboveTheReadBackRange) {
  testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(2, 0x10000));
  host.mode = kModeEraseProgram;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(radio.records, 2);
}

TEST_F(DownloadJobTest, PortThatWillNotOpenGives3012WithTheReason) {
  host.port.fail_open = true;
  EXPECT_EQ(Run(), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], T(text::kPortOpenFailed) + "\nheld by another program");
  EXPECT_TRUE(radio.received.empty());
}

TEST_F(DownloadJobTest, ProbeAnsweredOnlyAt4800) {
  radio.probe_settings = "4800,n,8,1";
  EXPECT_EQ(Run(), 0);
  // probe A three times at 9600, then once at 4800, then B at 4800
  EXPECT_EQ(Count("55AA035700005A"), 4);
  EXPECT_EQ(Count("55AA035800005B"), 1);
  auto& log = host.port.settings_log;
  EXPECT_EQ(log[0], "9600,n,8,1");
  EXPECT_EQ(log[1], "9600,n,8,1");
  EXPECT_EQ(log[2], "4800,n,8,1");
  EXPECT_EQ(log[3], "9600,n,8,1");  // FIRMWAR goes out at 9600
}

TEST_F(DownloadJobTest, NoProbeAnswerStillSendsFirmwar) {
  radio.probe_settings.clear();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Count("55AA035700005A"), 21);
  EXPECT_EQ(Count("55AA035800005B"), 0);
}

TEST_F(DownloadJobTest, DowningNotAnsweredKeepsTheLineAt9600) {
  radio.downing_reply = "15";
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(host.messages,
            (std::vector<std::string>{T(text::kExchangeFailed), T(text::kDownloadComplete)}));
  EXPECT_EQ(Count(TextToHex("DOWNING")), 3);
  EXPECT_TRUE(Sent(TextToHex("BPSSET")).empty());
  EXPECT_EQ(host.port.settings, "9600,n,8,1");
  EXPECT_EQ(radio.records, 4);
}

TEST_F(DownloadJobTest, EraseAnsweredWithAnotherByte) {
  radio.erase_reply = "45";
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kEraseRefused)});
  EXPECT_EQ(radio.records, 0);
  EXPECT_EQ(Count(TextToHex("DALL")), 1);
}

TEST_F(DownloadJobTest, SilentEraseWaitsThreeTimesEightSeconds) {
  radio.erase_reply.clear();
  std::int64_t start = clock.now;
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kNoReplyInTime)});
  EXPECT_EQ(Count(TextToHex("DALL")), 3);
  EXPECT_GE(clock.now - start, 3 * 8000);
}

TEST_F(DownloadJobTest, RecordNeverEchoedStopsTheJob) {
  radio.silent_record = 2;
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kNoReplyInTime)});
  auto programs = Sent("50");
  ASSERT_EQ(programs.size(), 5u);  // two good records, the third sent three times
  EXPECT_EQ(programs[2], programs[4]);
  EXPECT_EQ(ProgrammedAddresses().size(), 3u);
  EXPECT_EQ(host.progress, 2);
  EXPECT_FALSE(host.status_visible);
}

TEST_F(DownloadJobTest, EchoLostOnceIsRetried) {
  radio.silent_record = 1;
  radio.lost_echoes = 1;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Sent("50").size(), 4u + 1u + 1u);  // one resend plus the closing frame
}

TEST_F(DownloadJobTest, ReadBackChecksumWrong) {
  radio.bad_page_sum = true;
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kReadBackChecksum)});
  EXPECT_EQ(Sent("52").size(), 1u);  // not repeated
}

TEST_F(DownloadJobTest, FlashByteDifferingIsCaughtByTheRecordMapping) {
  radio.corrupt_flash_at = 128 * 3 + 17;  // inside the fourth record
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kFlashDiffers)});
}

TEST_F(DownloadJobTest, CorrectRadioPassesWithRunReplies) {
  testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(6, 0, 0, true));
  radio.run_replies = true;
  EXPECT_EQ(Run(), 0);
  // all six records are 0xFF: one request covers them all
  EXPECT_EQ(Sent("52").size(), 1u);
}

TEST_F(DownloadJobTest, StaleReplyOfOnePageNeverVerifiesTheNext) {
  // Two pages of equal content, the second written wrong. Replies trickle in
  // two-byte pieces, and the first page's first reply stalls past its limit,
  // so its exchange takes three attempts and the reply to the third is still
  // arriving when the second page is asked for.
  testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(2, 0, 0, true, 256));
  host.baud = 115200;
  radio.noise.piece_bytes = 2;
  radio.noise.piece_gap_ms = 4;
  radio.stall_read = 0;
  radio.stall_ms = 1502;
  radio.corrupt_flash_at = 0x110;
  EXPECT_NE(Run(), 0);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kFlashDiffers)});
  EXPECT_EQ(Count("520100FF"), 1);
  EXPECT_NE(host.log.text.find("# " + T(text::kLateBytesDiscarded)), std::string::npos);
}

TEST_F(DownloadJobTest, RunReplyDoesNotHideADifference) {
  // records of 0xFF except one byte that the radio's flash lost: the radio
  // then reports one long run of FF, which must not pass
  auto image = testing::MakeImage(6, 0, 0, true);
  image[36 + 133 * 4 + 4 + 9] = 0xFE;
  testing::WriteFile(workdir.File("fw.BIN"), image);
  radio.run_replies = true;
  radio.corrupt_flash_at = 128 * 4 + 9;  // FE read back as FF
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kFlashDiffers)});
  EXPECT_EQ(Sent("52").size(), 1u);  // the run itself was refused
}

TEST_F(DownloadJobTest, RunOfZeroPagesIsAFailedRead) {
  testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(3, 0, 0, true));
  radio.run_replies = true;
  radio.run_of_zero = true;
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kExchangeFailed)});
  EXPECT_EQ(Sent("52").size(), 1u);
}

TEST_F(DownloadJobTest, UnansweredClosingFrameStillCompletes) {
  radio.answer_closing = false;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(host.messages,
            (std::vector<std::string>{T(text::kNoReplyInTime), T(text::kExchangeFailed),
                                      T(text::kDownloadComplete)}));
  EXPECT_EQ(Count("45"), 0);  // not sent on the closed port
}

TEST_F(DownloadJobTest, UnansweredFinalByte) {
  radio.answer_final = false;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(host.messages,
            (std::vector<std::string>{T(text::kNoReplyInTime), T(text::kExchangeFailed),
                                      T(text::kDownloadComplete)}));
  EXPECT_EQ(Count("45"), 3);
}

TEST_F(DownloadJobTest, TrailingBytesAreNeverSent) {
  testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(2, 0, 100));
  host.mode = kModeEraseProgram;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(radio.records, 2);
}

}  // namespace
}  // namespace vexo
