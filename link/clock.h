// A monotonic millisecond clock and a sleep, injectable so that tests of time
// limits run on simulated time. SteadyClock is the real one.
#pragma once

#include <cstdint>

namespace vexo {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t NowMs() = 0;
  virtual void SleepMs(std::int64_t ms) = 0;
};

class SteadyClock final : public Clock {
 public:
  std::int64_t NowMs() override;
  void SleepMs(std::int64_t ms) override;
};

// The process's real clock.
Clock& RealClock();

}  // namespace vexo
