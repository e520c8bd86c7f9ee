#include "tools/flash/stop_rule.h"

namespace vexo {

StopDecision StopRule::OnRequest(std::int64_t now_ms, bool flash_touched) {
  if (!flash_touched) return StopDecision::stop;
  if (warned_at_ && now_ms - *warned_at_ <= kStopConfirmWindow.count()) return StopDecision::stop;
  warned_at_ = now_ms;
  return StopDecision::warn;
}

}  // namespace vexo
