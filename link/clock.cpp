#include "link/clock.h"

#include <chrono>
#include <thread>

namespace vexo {

std::int64_t SteadyClock::NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::SleepMs(std::int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock& RealClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace vexo
