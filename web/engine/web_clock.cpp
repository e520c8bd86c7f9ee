#include "web/engine/web_clock.h"

#include <emscripten.h>

namespace vexo::web {

std::int64_t WebClock::NowMs() {
  return static_cast<std::int64_t>(emscripten_get_now());
}

void WebClock::SleepMs(std::int64_t ms) {
  emscripten_sleep(ms > 0 ? static_cast<unsigned>(ms) : 0);
}

}  // namespace vexo::web
