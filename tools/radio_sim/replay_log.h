// A traffic log of a real session (vexo-flash --log, or the window's log box
// saved to a file) read as the exchanges to replay: each S: line with the R:
// line that followed it, the line rate each travelled at (implied by where
// the host's probe was answered and by BPSSET) and the radio's pause before
// its reply (from the optional "+MS " times). Pure; a bad file comes back as
// the number of its first line that is not a log line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

struct LoggedExchange {
  int sent_line = 0;   // 1-based line numbers in the log file
  int reply_line = 0;  // 0 when the log ends before the R: line
  std::vector<std::uint8_t> sent;
  std::vector<std::uint8_t> reply;
  std::optional<std::chrono::milliseconds> sent_at;  // since the job began
  std::optional<std::chrono::milliseconds> reply_at;
  int rate = kStartRate;   // the rate both directions travel at
  SimTime reply_delay{0};  // the radio's silence between the request and its reply
};

struct ReplayLog {
  std::vector<LoggedExchange> exchanges;
  int line_count = 0;  // lines in the file
};

struct ParsedLog {
  std::optional<ReplayLog> log;
  int bad_line = 0;  // when log is empty
  std::string error;
};

ParsedLog ParseReplayLog(std::string_view text);

}  // namespace vexo::sim
