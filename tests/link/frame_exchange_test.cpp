#include "link/frame_exchange.h"

#include <gtest/gtest.h>

#include "app/text_ids.h"
#include "link/hex_text.h"
#include "tests/support/fake_port.h"
#include "tests/support/temp_workdir.h"

namespace vexo {
namespace {

using testing::FakeClock;
using testing::FakeLog;
using testing::FakeMessages;
using testing::ScriptedPort;
using testing::T;
using testing::TempWorkdir;

class FrameExchangeTest : public ::testing::Test {
 protected:
  FrameExchange Exchange(std::size_t cap = kLogCapDiagnostic) {
    return FrameExchange(port, log, messages, clock, cap);
  }
  TempWorkdir workdir;
  FakeClock clock;
  ScriptedPort port{clock};
  FakeLog log;
  FakeMessages messages;
};

TEST_F(FrameExchangeTest, LogsEachAttemptByteForByte) {
  port.responder = [](ScriptedPort& p, const std::string&) { p.Deliver("06", 5); };
  std::string reply;
  EXPECT_TRUE(
      Exchange().ExchangeMessage("55AA035700005A", reply, 1, 200, "06", ReportFailure::yes));
  EXPECT_EQ(reply, "06");
  EXPECT_EQ(log.text, "S:55 AA 03 57 00 00 5A \r\nR:06 \r\n");
  EXPECT_EQ(port.writes, std::vector<std::string>{"55AA035700005A"});
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FrameExchangeTest, SilenceGivesThreeAttemptsAnd3009) {
  std::string reply;
  std::int64_t start = clock.now;
  EXPECT_FALSE(Exchange().ExchangeMessage("02", reply, 8, 500, "", ReportFailure::yes));
  EXPECT_EQ(port.writes.size(), 3u);
  EXPECT_EQ(log.text, "S:02 \r\nR:\r\nS:02 \r\nR:\r\nS:02 \r\nR:\r\n");
  EXPECT_EQ(messages.shown, std::vector<std::string>{T(text::kNoReplyInTime)});
  // each attempt gives up once more than the limit has passed
  EXPECT_EQ(clock.now - start, 3 * 501);
  EXPECT_LT(port.waits, 10);  // waited in the port, not polled in a loop
}

TEST_F(FrameExchangeTest, FinalMessageFollowsTheLastAttempt) {
  // wrong, wrong, silent -> 3009
  int call = 0;
  port.responder = [&](ScriptedPort& p, const std::string&) {
    if (call++ < 2) p.Deliver("15");
  };
  std::string reply;
  EXPECT_FALSE(Exchange().ExchangeMessage("46", reply, 1, 100, "06", ReportFailure::yes));
  EXPECT_EQ(messages.shown.back(), T(text::kNoReplyInTime));

  // silent, silent, wrong -> 3006
  call = 0;
  port.responder = [&](ScriptedPort& p, const std::string&) {
    if (call++ == 2) p.Deliver("15");
  };
  EXPECT_FALSE(Exchange().ExchangeMessage("46", reply, 1, 100, "06", ReportFailure::yes));
  EXPECT_EQ(messages.shown.back(), T(text::kExchangeFailed));
  EXPECT_EQ(reply, "15");
}

TEST_F(FrameExchangeTest, NoMessageWithReportingOff) {
  std::string reply;
  EXPECT_FALSE(
      Exchange().ExchangeMessage("55AA035700005A", reply, 1, 200, "06", ReportFailure::no));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FrameExchangeTest, LateBytesOfOneAttemptCountInTheNext) {
  // The reply to the first sending arrives after its limit; the second
  // attempt takes it without waiting for an answer of its own.
  int call = 0;
  port.responder = [&](ScriptedPort& p, const std::string&) {
    if (call++ == 0) p.Deliver("44", 150);
  };
  std::string reply;
  EXPECT_TRUE(Exchange().ExchangeMessage("44414C4C", reply, 1, 100, "", ReportFailure::yes));
  EXPECT_EQ(reply, "44");
  EXPECT_EQ(port.writes.size(), 2u);
}

TEST_F(FrameExchangeTest, PiecesAreGatheredAndExtraBytesCut) {
  port.responder = [](ScriptedPort& p, const std::string&) {
    p.Deliver("5000", 1);
    p.Deliver("0012", 3);
    p.Deliver("0080AABB", 4);  // two bytes more than awaited
  };
  std::string reply;
  EXPECT_TRUE(Exchange().ExchangeMessage("50", reply, 6, 1500, "500000120080", ReportFailure::yes));
  EXPECT_EQ(reply, "500000120080");
  // the extra bytes of that read are gone, not kept for the next exchange
  EXPECT_EQ(port.InBufferCount(), 0);
}

TEST_F(FrameExchangeTest, BytesThatCameInTimeStayWithTheirAttempt) {
  // A port that sleeps through the wire wakes at the limit holding a reply
  // that lost a byte; the next attempt must not start with those bytes.
  port.sleeps_through_wire = true;
  int sendings = 0;
  port.responder = [&](ScriptedPort& p, const std::string&) {
    p.Deliver(++sendings == 1 ? "5000001200" : "500000120080", 2);
  };
  std::string reply;
  EXPECT_TRUE(Exchange().ExchangeMessage("50", reply, 6, 100, "500000120080", ReportFailure::yes));
  EXPECT_EQ(log.text, "S:50 \r\nR:50 00 00 12 00 \r\nS:50 \r\nR:50 00 00 12 00 80 \r\n");
}

TEST_F(FrameExchangeTest, OddLengthIsNeverSentAndEndsWith3006) {
  std::string reply = "keep";
  EXPECT_EQ(Exchange().TransmitAndRead("123", reply, 1, 100), kAttemptOddLength);
  EXPECT_EQ(reply, "keep");
  EXPECT_FALSE(Exchange().ExchangeMessage("123", reply, 1, 100, "", ReportFailure::yes));
  EXPECT_TRUE(port.writes.empty());
  EXPECT_EQ(messages.shown, std::vector<std::string>{T(text::kExchangeFailed)});
}

TEST_F(FrameExchangeTest, NonHexCharacterCutsTheMessage) {
  port.responder = [](ScriptedPort& p, const std::string&) { p.Deliver("06"); };
  std::string reply;
  EXPECT_TRUE(Exchange().ExchangeMessage("0102XX03", reply, 1, 100, "06", ReportFailure::yes));
  EXPECT_EQ(port.writes, std::vector<std::string>{"0102"});
}

TEST_F(FrameExchangeTest, ZeroAwaitedBytesSucceedAtOnce) {
  std::string reply = "x";
  EXPECT_TRUE(Exchange().ExchangeMessage("45", reply, 0, 1300, "", ReportFailure::yes));
  EXPECT_EQ(reply, "");
  EXPECT_EQ(port.waits, 0);
}

TEST_F(FrameExchangeTest, LogCapIsTestedOncePerCall) {
  log.text = std::string(9, 'x');
  std::string reply;
  auto plain = Exchange(kLogCapPlain);
  plain.ExchangeMessage("02", reply, 1, 10, "", ReportFailure::no);
  EXPECT_EQ(log.emptied, 0);  // 9 characters: below the cap
  EXPECT_EQ(log.text.substr(0, 9), std::string(9, 'x'));
  plain.ExchangeMessage("02", reply, 1, 10, "", ReportFailure::no);
  EXPECT_EQ(log.emptied, 1);
  // three attempts' lines stay together: no emptying between attempts
  EXPECT_EQ(log.text, "S:02 \r\nR:\r\nS:02 \r\nR:\r\nS:02 \r\nR:\r\n");

  log.text = std::string(kLogCapDiagnostic - 1, 'x');
  auto diagnostic = Exchange(kLogCapDiagnostic);
  diagnostic.ExchangeMessage("02", reply, 0, 10, "", ReportFailure::no);
  EXPECT_EQ(log.emptied, 1);
  diagnostic.ExchangeMessage("02", reply, 0, 10, "", ReportFailure::no);
  EXPECT_EQ(log.emptied, 2);
}

TEST_F(FrameExchangeTest, BlockReplyLengthComesFromItsFirstByte) {
  std::string page = "57000000" + std::string(512, 'A');
  page += "00";
  port.responder = [&](ScriptedPort& p, const std::string&) {
    p.Deliver(page.substr(0, 100), 2);
    p.Deliver(page.substr(100), 20);
  };
  std::string reply;
  EXPECT_TRUE(Exchange().ExchangeBlock("520000FF", reply, 1500));
  EXPECT_EQ(reply.size(), 522u);

  port.responder = [](ScriptedPort& p, const std::string&) { p.Deliver("770000034EFFCC", 1); };
  EXPECT_TRUE(Exchange().ExchangeBlock("520000FF", reply, 1500));
  EXPECT_EQ(reply, "770000034EFF");
}

TEST_F(FrameExchangeTest, BlockReplyWithAnotherLeadFailsAtOnce) {
  port.responder = [](ScriptedPort& p, const std::string&) { p.Deliver("45", 1); };
  std::string reply;
  std::int64_t start = clock.now;
  EXPECT_FALSE(Exchange().ExchangeBlock("520000FF", reply, 1500));
  EXPECT_EQ(port.writes.size(), 3u);
  EXPECT_LT(clock.now - start, 10);  // no waiting for the rest of a bad reply
  EXPECT_EQ(messages.shown, std::vector<std::string>{T(text::kExchangeFailed)});

  // a block exchange always reports; silence gives 3009
  port.responder = nullptr;
  EXPECT_FALSE(Exchange().ExchangeBlock("520000FF", reply, 1500));
  EXPECT_EQ(messages.shown.back(), T(text::kNoReplyInTime));
}

TEST_F(FrameExchangeTest, DisconnectedPortFailsEveryAttemptAtOnce) {
  port.Disconnect();
  std::string reply;
  std::int64_t start = clock.now;
  EXPECT_FALSE(Exchange().ExchangeMessage("02", reply, 8, 3000, "", ReportFailure::yes));
  EXPECT_EQ(clock.now - start, 0);
  EXPECT_EQ(messages.shown, std::vector<std::string>{T(text::kNoReplyInTime)});
}

TEST_F(FrameExchangeTest, LateReplyIsNeverTheAnswerToTheNextRequest) {
  // Each request is answered by its own number; the first answer comes after
  // the limit, so the first exchange needs two attempts and the answer to its
  // first sending is still on its way when it ends.
  int sendings = 0;
  port.responder = [&](ScriptedPort& p, const std::string&) {
    ++sendings;
    p.Deliver(HexOfValue(static_cast<std::uint32_t>(sendings), 1), sendings == 1 ? 150 : 5);
  };
  FrameExchange exchange = Exchange();
  std::string reply;
  ASSERT_TRUE(exchange.ExchangeMessage("A1", reply, 1, 100, "", ReportFailure::yes));
  EXPECT_EQ(reply, "02");
  ASSERT_TRUE(exchange.ExchangeMessage("A2", reply, 1, 100, "", ReportFailure::yes));
  EXPECT_EQ(reply, "03");  // its own answer, not the late "01"
  EXPECT_NE(log.text.find("# " + T(text::kLateBytesDiscarded) + " 1\r\n"), std::string::npos);
  EXPECT_EQ(log.text.find("R:01"), std::string::npos);  // never shown as a reply

  // After a clean exchange the next request goes out at once.
  const std::int64_t before = clock.now;
  ASSERT_TRUE(exchange.ExchangeMessage("A3", reply, 1, 100, "", ReportFailure::yes));
  EXPECT_EQ(clock.now - before, 5);
}

TEST_F(FrameExchangeTest, NothingIsSentLoggedOrCountedOnceThePortIsGone) {
  int sendings = 0;
  port.responder = [&](ScriptedPort& p, const std::string&) {
    if (++sendings == 1) p.Disconnect();
  };
  FrameExchange exchange = Exchange();
  std::string reply;
  EXPECT_FALSE(exchange.ExchangeMessage("02", reply, 8, 3000, "", ReportFailure::yes));
  EXPECT_EQ(log.text, "S:02 \r\nR:\r\n");
  EXPECT_EQ(exchange.tally().attempts, 1);
  EXPECT_EQ(exchange.tally().retries, 0);
  EXPECT_EQ(exchange.tally().bytes_sent, 1);
}

TEST_F(FrameExchangeTest, WaitMsSleepsPastTheGivenTime) {
  std::int64_t start = clock.now;
  Exchange().WaitMs(100);
  EXPECT_GT(clock.now - start, 100);
  EXPECT_LE(clock.now - start, 101);
}

}  // namespace
}  // namespace vexo
