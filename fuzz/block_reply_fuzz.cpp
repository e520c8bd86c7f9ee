// Read-back replies as arbitrary byte streams on a scripted port and a
// simulated clock. Input byte 0 picks the time limit and whether a single
// ReadBlockReply or a whole ExchangeBlock runs; the rest is cut into pieces,
// each led by a byte that gives its length (low 6 bits, 0: all the rest) and
// how long after the previous piece it arrives (top 2 bits); for a whole
// exchange the pieces follow its first sending. A completed reply is a page
// or a run reply made of the first bytes that arrived; bytes that arrived
// within the limit are never given up for a time-out; nothing waits past its
// limit.
#include <algorithm>
#include <string>

#include "app/process_state.h"
#include "fuzz/fuzz_support.h"
#include "link/frame_exchange.h"
#include "tests/support/fake_port.h"

namespace {

using vexo::testing::FakeClock;
using vexo::testing::FakeLog;
using vexo::testing::FakeMessages;
using vexo::testing::ScriptedPort;

constexpr int kLimitsMs[] = {0, 1, 200, 1500};
constexpr std::int64_t kPieceDelaysMs[] = {0, 1, 60, 700};
constexpr char kReadRequest[] = "5200010000";

struct Stream {
  std::string hex;           // everything that arrives, in order
  std::string hex_by_limit;  // what has arrived once the limit has passed
};

Stream Schedule(ScriptedPort& port, const std::uint8_t* data, std::size_t size, int limit_ms) {
  Stream stream;
  std::int64_t at = 0;
  for (std::size_t i = 0; i < size;) {
    const std::uint8_t lead = data[i++];
    std::size_t length = lead & 0x3F;
    if (length == 0 || length > size - i) length = size - i;
    at += kPieceDelaysMs[lead >> 6];
    const std::string piece = vexo::BytesToHex(std::span<const std::uint8_t>(data + i, length));
    port.Deliver(piece, at);
    stream.hex += piece;
    if (at <= limit_ms) stream.hex_by_limit += piece;
    i += length;
  }
  return stream;
}

// Characters of a complete reply with this lead, 0 for a lead that is neither.
std::size_t CompleteLength(const std::string& hex) {
  if (hex.compare(0, 2, vexo::kPageReplyLead) == 0) return 2 * vexo::kPageReplyBytes;
  if (hex.compare(0, 2, vexo::kRunReplyLead) == 0) return 2 * vexo::kRunReplyBytes;
  return 0;
}

void CheckSingleRead(vexo::FrameExchange& exchange, FakeClock& clock, const Stream& stream,
                     int limit_ms) {
  const std::int64_t start = clock.now;
  std::string reply = "stale";
  const vexo::AttemptResult result = exchange.ReadBlockReply(reply, limit_ms);
  VEXO_FUZZ_CHECK(clock.now - start <= limit_ms + 1);
  VEXO_FUZZ_CHECK(stream.hex.compare(0, reply.size(), reply) == 0);
  const std::size_t complete = CompleteLength(reply);
  switch (result) {
    case vexo::kAttemptComplete:
      VEXO_FUZZ_CHECK(complete != 0 && reply.size() == complete);
      break;
    case vexo::kAttemptBadBlock:
      VEXO_FUZZ_CHECK(reply.size() >= 2 && complete == 0);
      break;
    case vexo::kAttemptTimedOut:
      VEXO_FUZZ_CHECK(reply.size() < 2 || (complete != 0 && reply.size() < complete));
      // Enough had arrived in time: a time-out would throw a good reply away.
      VEXO_FUZZ_CHECK(stream.hex_by_limit.size() < 2 ||
                      (CompleteLength(stream.hex_by_limit) != 0 &&
                       stream.hex_by_limit.size() < CompleteLength(stream.hex_by_limit)));
      break;
    default:
      VEXO_FUZZ_CHECK(!"ReadBlockReply gave a result it does not document");
  }
}

void CheckExchange(vexo::FrameExchange& exchange, ScriptedPort& port, FakeClock& clock,
                   FakeLog& log, FakeMessages& messages, int limit_ms) {
  const std::int64_t start = clock.now;
  std::string reply;
  const bool ok = exchange.ExchangeBlock(kReadRequest, reply, limit_ms);
  const std::size_t attempts = port.writes.size();
  VEXO_FUZZ_CHECK(attempts >= 1 && attempts <= static_cast<std::size_t>(vexo::kExchangeAttempts));
  VEXO_FUZZ_CHECK(std::all_of(port.writes.begin(), port.writes.end(),
                              [](const std::string& w) { return w == kReadRequest; }));
  VEXO_FUZZ_CHECK(clock.now - start <= static_cast<std::int64_t>(attempts) * (limit_ms + 1));
  VEXO_FUZZ_CHECK(std::count(log.text.begin(), log.text.end(), '\n') ==
                  static_cast<std::ptrdiff_t>(2 * attempts));
  if (ok) {
    VEXO_FUZZ_CHECK(CompleteLength(reply) != 0 && reply.size() == CompleteLength(reply));
    VEXO_FUZZ_CHECK(messages.shown.empty());
  } else {
    VEXO_FUZZ_CHECK(attempts == static_cast<std::size_t>(vexo::kExchangeAttempts));
    VEXO_FUZZ_CHECK(messages.shown.size() == 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // Failure texts come from the language file next to the program.
  vexo::AppState().WorkingDirectory = vexo::fuzz::ScratchDirectory::Path();
  const int limit_ms = kLimitsMs[data[0] & 3];
  const bool whole_exchange = (data[0] & 4) != 0;

  FakeClock clock;
  ScriptedPort port(clock);
  port.open = true;
  FakeLog log;
  FakeMessages messages;
  vexo::FrameExchange exchange(port, log, messages, clock, vexo::kLogCapPlain);
  if (whole_exchange) {
    // The radio's bytes follow the request, as on the line: bytes waiting
    // before an exchange begins are never its reply.
    port.responder = [&](ScriptedPort& p, const std::string&) {
      if (p.writes.size() == 1) Schedule(p, data + 1, size - 1, limit_ms);
    };
    CheckExchange(exchange, port, clock, log, messages, limit_ms);
  } else {
    const Stream stream = Schedule(port, data + 1, size - 1, limit_ms);
    CheckSingleRead(exchange, clock, stream, limit_ms);
  }
  return 0;
}
