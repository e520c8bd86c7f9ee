#include "link/frame_exchange.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "app/text_ids.h"
#include "link/hex_text.h"

namespace vexo {

FrameExchange::FrameExchange(SerialControl& port, LogView& log, MessageHost& host, Clock& clock,
                             std::size_t log_cap)
    : port_(port), log_(log), host_(host), clock_(clock), log_cap_(log_cap) {}

bool FrameExchange::ExchangeMessage(const std::string& message, std::string& reply, int reply_bytes,
                                    int limit_ms, const std::string& expected,
                                    ReportFailure report) {
  AttemptResult last = kAttemptTimedOut;
  const auto read = [&] { return ReadReply(reply, reply_bytes, limit_ms); };
  if (Attempts(message, reply, limit_ms, reply_bytes, expected, read, last)) return true;
  if (report == ReportFailure::yes) ReportFinal(last);
  return false;
}

bool FrameExchange::ExchangeBlock(const std::string& message, std::string& reply, int limit_ms) {
  AttemptResult last = kAttemptTimedOut;
  const auto read = [&] { return ReadBlockReply(reply, limit_ms); };
  if (Attempts(message, reply, limit_ms, kPageReplyBytes, "", read, last)) return true;
  ReportFinal(last);
  return false;
}

bool FrameExchange::Attempts(const std::string& message, std::string& reply, int limit_ms,
                             int reply_bytes, const std::string& expected,
                             const std::function<AttemptResult()>& read, AttemptResult& last) {
  EmptyLogIfFull();
  SettleLine(limit_ms);
  int attempt = 0;
  for (; attempt < kExchangeAttempts; ++attempt) {
    // No pause and no flush between attempts: bytes of a late reply count
    // toward the next attempt's reply.
    if (message.size() % 2 != 0) {
      LogLine("S:", message);
      last = kAttemptOddLength;
      LogLine("R:", reply);
      continue;
    }
    // Once the port has stopped taking bytes nothing more is sent, logged or
    // counted: a stopped job shows only the attempts the radio could hear.
    if (!WriteHex(message)) break;
    LogLine("S:", message);
    last = read();
    LogLine("R:", reply);
    Count(attempt, message, reply);
    if (last == kAttemptComplete && (expected.empty() || reply == expected)) {
      Ended(attempt + 1, true, reply_bytes);
      return true;
    }
  }
  Ended(attempt, false, reply_bytes);
  return false;
}

AttemptResult FrameExchange::TransmitAndRead(const std::string& message, std::string& reply,
                                             int reply_bytes, int limit_ms) {
  if (message.size() % 2 != 0) return kAttemptOddLength;
  if (!WriteHex(message)) return kAttemptLineLost;
  reply.clear();
  return ReadReply(reply, reply_bytes, limit_ms);
}

bool FrameExchange::WriteHex(const std::string& message) {
  std::vector<std::uint8_t> bytes;
  HexToBytes(message, bytes);
  return port_.Output(bytes).ok();
}

AttemptResult FrameExchange::ReadReply(std::string& reply, int reply_bytes, int limit_ms) {
  reply.clear();
  if (reply_bytes <= 0) return kAttemptComplete;
  const std::size_t wanted = 2 * static_cast<std::size_t>(reply_bytes);
  const std::int64_t start = clock_.NowMs();
  for (;;) {
    if (port_.InBufferCount() > 0) {
      if (!TakeInput(reply)) return kAttemptTimedOut;
      if (reply.size() >= wanted) {
        overrun_ = reply.size() > wanted;
        reply.resize(wanted);  // later bytes of this read are dropped
        return kAttemptComplete;
      }
    }
    // The time is looked at only after taking what is waiting: a port that
    // sleeps through the bytes still on the wire wakes at the limit holding
    // those that came in time, and they are this attempt's, not the next's.
    if (clock_.NowMs() - start > limit_ms ||
        !AwaitInput(start, limit_ms, (wanted - reply.size()) / 2)) {
      return kAttemptTimedOut;
    }
  }
}

AttemptResult FrameExchange::ReadBlockReply(std::string& reply, int limit_ms) {
  reply.clear();
  const std::int64_t start = clock_.NowMs();
  std::size_t wanted = 2;  // the first byte says how many follow
  for (;;) {
    if (port_.InBufferCount() > 0) {
      if (!TakeInput(reply)) return kAttemptTimedOut;
      if (reply.compare(0, 2, kPageReplyLead) == 0) {
        wanted = 2 * kPageReplyBytes;
      } else if (reply.compare(0, 2, kRunReplyLead) == 0) {
        wanted = 2 * kRunReplyBytes;
      } else {
        return kAttemptBadBlock;
      }
      if (reply.size() >= wanted) {
        overrun_ = reply.size() > wanted;
        reply.resize(wanted);
        return kAttemptComplete;
      }
    }
    if (clock_.NowMs() - start > limit_ms ||
        !AwaitInput(start, limit_ms, (wanted - reply.size()) / 2)) {
      return kAttemptTimedOut;
    }
  }
}

void FrameExchange::WaitMs(int ms) {
  const std::int64_t start = clock_.NowMs();
  for (std::int64_t elapsed = 0; elapsed <= ms; elapsed = clock_.NowMs() - start) {
    clock_.SleepMs(ms - elapsed + 1);
  }
}

void FrameExchange::EmptyLogIfFull() {
  if (log_.TextLength() >= log_cap_) log_.Empty();
}

void FrameExchange::LogLine(const char* prefix, const std::string& hex) {
  AppendLogLine(log_, prefix + SpacedHex(hex) + "\r\n");
}

void FrameExchange::Count(int attempt, const std::string& message, const std::string& reply) {
  ++tally_.attempts;
  if (attempt > 0) ++tally_.retries;
  tally_.bytes_sent += static_cast<std::int64_t>(message.size() / 2);
  tally_.bytes_received += static_cast<std::int64_t>(reply.size() / 2);
}

void FrameExchange::Ended(int attempts_made, bool accepted, int reply_bytes) {
  unsettled_ = attempts_made > 1 || !accepted || std::exchange(overrun_, false);
  if (unsettled_) unsettled_reply_bytes_ = reply_bytes;
}

void FrameExchange::SettleLine(int limit_ms) {
  // The usual case, a clean exchange before, costs one look at the port.
  if (!unsettled_ && port_.InBufferCount() == 0) return;
  const std::int64_t quiet_ms =
      std::min<std::int64_t>(WireMs(unsettled_reply_bytes_) + kSettleMarginMs, limit_ms);
  unsettled_ = false;
  const std::int64_t start = clock_.NowMs();
  std::int64_t quiet_since = start;
  std::size_t discarded = 0;
  for (;;) {
    discarded += DiscardWaiting();
    const std::int64_t now = clock_.NowMs();
    // A line that never goes quiet holds the exchange no longer than its
    // own limit.
    const std::int64_t wait = std::min(quiet_since + quiet_ms, start + limit_ms) - now;
    if (wait <= 0) break;
    const WaitResult waited = port_.WaitForInput(std::chrono::milliseconds(wait));
    if (waited == WaitResult::failed) break;
    if (waited == WaitResult::input_waiting) quiet_since = clock_.NowMs();
  }
  discarded += DiscardWaiting();
  if (discarded > 0) {
    AppendLogLine(log_, "# " + LookupText(text::kLateBytesDiscarded) + " " +
                            std::to_string(discarded) + "\r\n");
  }
}

std::size_t FrameExchange::DiscardWaiting() {
  std::size_t discarded = 0;
  while (port_.InBufferCount() > 0) {
    const std::size_t got = port_.Input(kInputReadLimit).size();
    if (got == 0) break;
    discarded += got;
  }
  return discarded;
}

std::int64_t FrameExchange::WireMs(int reply_bytes) const {
  constexpr std::int64_t kBitsPerByte = 10;  // start, 8 data, stop
  const int rate = port_.LineRate() > 0 ? port_.LineRate() : kSettleAssumedBaud;
  return (static_cast<std::int64_t>(reply_bytes) * kBitsPerByte * 1000 + rate - 1) / rate;
}

void FrameExchange::ReportFinal(AttemptResult last) {
  ShowTextMessage(host_, last == kAttemptTimedOut ? text::kNoReplyInTime : text::kExchangeFailed);
}

bool FrameExchange::TakeInput(std::string& reply) {
  std::vector<std::uint8_t> bytes = port_.Input(kInputReadLimit);
  if (bytes.empty()) return false;
  AppendHex(reply, bytes);
  return true;
}

bool FrameExchange::AwaitInput(std::int64_t start, int limit_ms, std::size_t bytes_needed) {
  const std::int64_t left = limit_ms - (clock_.NowMs() - start) + 1;
  if (left <= 0) return false;
  return port_.WaitForBytes(bytes_needed, std::chrono::milliseconds(left)) != WaitResult::failed;
}

}  // namespace vexo
