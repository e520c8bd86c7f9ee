// The clock of the engine in the browser: performance.now() for the time and
// a sleep that yields to the page (the job runs on the page's only thread,
// so a sleep must give it back). Used from that thread only.
#pragma once

#include "link/clock.h"

namespace vexo::web {

class WebClock final : public Clock {
 public:
  std::int64_t NowMs() override;
  void SleepMs(std::int64_t ms) override;
};

}  // namespace vexo::web
