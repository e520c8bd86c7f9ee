#include "link/frame_exchange.h"

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
  EmptyLogIfFull();
  AttemptResult last = kAttemptComplete;
  for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
    // No pause and no flush between attempts: bytes of a late reply count
    // toward the next attempt's reply.
    LogLine("S:", message);
    last = TransmitAndRead(message, reply, reply_bytes, limit_ms);
    LogLine("R:", reply);
    if (last != kAttemptOddLength) Count(attempt, message, reply);
    if (last == kAttemptComplete && (expected.empty() || reply == expected)) return true;
  }
  if (report == ReportFailure::yes) ReportFinal(last);
  return false;
}

bool FrameExchange::ExchangeBlock(const std::string& message, std::string& reply, int limit_ms) {
  EmptyLogIfFull();
  AttemptResult last = kAttemptComplete;
  for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
    LogLine("S:", message);
    if (message.size() % 2 != 0) {
      last = kAttemptOddLength;
    } else {
      WriteHex(message);
      last = ReadBlockReply(reply, limit_ms);
      Count(attempt, message, reply);
    }
    LogLine("R:", reply);
    if (last == kAttemptComplete) return true;
  }
  ReportFinal(last);
  return false;
}

AttemptResult FrameExchange::TransmitAndRead(const std::string& message, std::string& reply,
                                             int reply_bytes, int limit_ms) {
  if (message.size() % 2 != 0) return kAttemptOddLength;
  WriteHex(message);
  reply.clear();
  return ReadReply(reply, reply_bytes, limit_ms);
}

void FrameExchange::WriteHex(const std::string& message) {
  std::vector<std::uint8_t> bytes;
  HexToBytes(message, bytes);
  // A failed write shows up as a reply that never comes.
  (void)port_.Output(bytes);
}

AttemptResult FrameExchange::ReadReply(std::string& reply, int reply_bytes, int limit_ms) {
  reply.clear();
  if (reply_bytes <= 0) return kAttemptComplete;
  const std::size_t wanted = 2 * static_cast<std::size_t>(reply_bytes);
  const std::int64_t start = clock_.NowMs();
  while (clock_.NowMs() - start <= limit_ms) {
    if (port_.InBufferCount() > 0) {
      if (!TakeInput(reply)) return kAttemptTimedOut;
      if (reply.size() >= wanted) {
        reply.resize(wanted);  // later bytes of this read are dropped
        return kAttemptComplete;
      }
    } else if (!AwaitInput(start, limit_ms, (wanted - reply.size()) / 2)) {
      break;
    }
  }
  return kAttemptTimedOut;
}

AttemptResult FrameExchange::ReadBlockReply(std::string& reply, int limit_ms) {
  reply.clear();
  const std::int64_t start = clock_.NowMs();
  std::size_t wanted = 2;  // the first byte says how many follow
  while (clock_.NowMs() - start <= limit_ms) {
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
        reply.resize(wanted);
        return kAttemptComplete;
      }
    } else if (!AwaitInput(start, limit_ms, (wanted - reply.size()) / 2)) {
      break;
    }
  }
  return kAttemptTimedOut;
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
