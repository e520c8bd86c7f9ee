// When a stop request (SIGINT, SIGTERM) ends a vexo-flash job. Before the
// radio's flash is touched one request stops at once; from the erase on the
// first only warns, and a second within kStopConfirmWindow stops: a radio left
// erased has no firmware. Pure; the caller passes the time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace vexo {

inline constexpr std::chrono::milliseconds kStopConfirmWindow{5000};

enum class StopDecision { stop, warn };

class StopRule {
 public:
  StopDecision OnRequest(std::int64_t now_ms, bool flash_touched);

 private:
  std::optional<std::int64_t> warned_at_;
};

// The exit status of a program stopped by signal: 128 + its number.
inline int ExitStatusForSignal(int signal_number) {
  return 128 + signal_number;
}

}  // namespace vexo
