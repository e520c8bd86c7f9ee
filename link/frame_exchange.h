// One request and one reply with the radio: the message (hex text) is
// written to the serial control, the reply polled for until it is complete or
// the time limit has passed, the attempt repeated up to three times, and every
// attempt logged as an "S:" and an "R:" line. Runs on the download thread and
// blocks it while waiting (in the kernel, never spinning). Failures are return
// values; with reporting on, the final failure is shown through the host.
//
// Attempts of one exchange share the receive buffer, so a late reply may
// complete a later attempt. Exchanges do not: bytes waiting when an exchange
// begins are never taken as its reply. After an exchange that needed more
// than one attempt, or saw more bytes than its reply, a reply to one of its
// earlier sendings may still be on its way; the next exchange first waits
// until the line has been quiet for the time such a reply takes on the wire
// (plus a margin, at most its own time limit) and discards what came
// meanwhile, with a "#" line in the log.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "link/clock.h"
#include "link/log_view.h"
#include "link/message_host.h"
#include "link/serial_control.h"

namespace vexo {

// Outcome of one attempt.
enum AttemptResult : int {
  kAttemptComplete = 0,     // the awaited bytes arrived (or none were awaited)
  kAttemptTimedOut = 99,    // the limit passed before the reply was complete
  kAttemptBadBlock = 10,    // block reply led by neither 0x57 nor 0x77
  kAttemptOddLength = -20,  // odd-length message: nothing sent
  kAttemptLineLost = -30,   // the port took no bytes (stopped, device gone): nothing sent
};

inline constexpr int kExchangeAttempts = 3;
inline constexpr std::size_t kLogCapDiagnostic = 1'638'400;  // characters
inline constexpr std::size_t kLogCapPlain = 10;

// Block replies, told apart by their first byte.
inline constexpr char kPageReplyLead[] = "57";
inline constexpr int kPageReplyBytes = 261;
inline constexpr char kRunReplyLead[] = "77";
inline constexpr int kRunReplyBytes = 6;

// The quiet time before the next request, beyond the wire time of the reply
// that may still be coming: covers a USB adapter's buffering and the radio's
// pause before it answers.
inline constexpr int kSettleMarginMs = 50;
// Assumed when the port does not say its rate.
inline constexpr int kSettleAssumedBaud = 9600;

enum class ReportFailure { no, yes };

// What the exchanges of a stretch of a job amounted to.
struct ExchangeTally {
  std::int64_t attempts = 0;
  std::int64_t retries = 0;  // attempts beyond the first of each exchange
  std::int64_t bytes_sent = 0;
  std::int64_t bytes_received = 0;
  ExchangeTally operator-(const ExchangeTally& earlier) const {
    return {attempts - earlier.attempts, retries - earlier.retries, bytes_sent - earlier.bytes_sent,
            bytes_received - earlier.bytes_received};
  }
};

class FrameExchange {
 public:
  // log_cap: kLogCapDiagnostic with DiagnosticLog set, else kLogCapPlain.
  FrameExchange(SerialControl& port, LogView& log, MessageHost& host, Clock& clock,
                std::size_t log_cap);

  // Up to three attempts; true when an attempt brought reply_bytes bytes
  // equal to expected ("" accepts any). On false with report on, text 3009
  // (last attempt timed out) or 3006 has been shown.
  bool ExchangeMessage(const std::string& message, std::string& reply, int reply_bytes,
                       int limit_ms, const std::string& expected, ReportFailure report);
  // As ExchangeMessage for read-back requests: the reply length comes from its
  // first byte. Always reports its final failure.
  bool ExchangeBlock(const std::string& message, std::string& reply, int limit_ms);

  AttemptResult TransmitAndRead(const std::string& message, std::string& reply, int reply_bytes,
                                int limit_ms);
  // False when the port took none of the bytes.
  bool WriteHex(const std::string& message);
  AttemptResult ReadReply(std::string& reply, int reply_bytes, int limit_ms);
  AttemptResult ReadBlockReply(std::string& reply, int limit_ms);
  // Waits until more than ms milliseconds have passed (sleeping).
  void WaitMs(int ms);

  SerialControl& port() { return port_; }
  Clock& clock() { return clock_; }
  // Every attempt since this exchange was made.
  const ExchangeTally& tally() const { return tally_; }

 private:
  void EmptyLogIfFull();
  void LogLine(const char* prefix, const std::string& hex);
  void Count(int attempt, const std::string& message, const std::string& reply);
  void ReportFinal(AttemptResult last);
  // Up to three attempts of message, each read by read; true when one
  // brought a complete reply equal to expected ("" accepts any). last: the
  // outcome of the last attempt made.
  bool Attempts(const std::string& message, std::string& reply, int limit_ms, int reply_bytes,
                const std::string& expected, const std::function<AttemptResult()>& read,
                AttemptResult& last);
  // Before an exchange's first sending: drops what is waiting, after an
  // unsettled exchange once the line has gone quiet.
  void SettleLine(int limit_ms);
  // Drops every byte waiting; returns how many.
  std::size_t DiscardWaiting();
  // How long reply_bytes take on the line at its current rate.
  std::int64_t WireMs(int reply_bytes) const;
  // Notes how an exchange ended for the next one's SettleLine.
  void Ended(int attempts_made, bool accepted, int reply_bytes);
  // Appends what is waiting; false when the port has failed.
  bool TakeInput(std::string& reply);
  // Waits for bytes_needed more bytes with what is left of limit_ms since
  // start; false when the limit has passed or the port has failed.
  bool AwaitInput(std::int64_t start, int limit_ms, std::size_t bytes_needed);

  SerialControl& port_;
  LogView& log_;
  MessageHost& host_;
  Clock& clock_;
  std::size_t log_cap_;
  ExchangeTally tally_;
  bool overrun_ = false;    // the last read brought more than the reply
  bool unsettled_ = false;  // a reply of the last exchange may still come
  int unsettled_reply_bytes_ = 0;
};

}  // namespace vexo
