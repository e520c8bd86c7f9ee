#include "tools/radio_sim/line_noise.h"

namespace vexo::sim {

bool LineNoise::Apply(std::vector<std::uint8_t>& bytes) {
  if (!active()) return false;
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  std::uniform_int_distribution<int> flip(1, 255);
  std::vector<std::uint8_t> out;
  out.reserve(bytes.size());
  bool changed = false;
  for (std::uint8_t b : bytes) {
    if (chance(generator_) < drop_rate_) {
      changed = true;
      continue;
    }
    if (chance(generator_) < corrupt_rate_) {
      b ^= static_cast<std::uint8_t>(flip(generator_));
      changed = true;
    }
    out.push_back(b);
  }
  bytes = std::move(out);
  return changed;
}

}  // namespace vexo::sim
