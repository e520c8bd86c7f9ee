// Random damage on the line: each byte is dropped with one probability and
// otherwise corrupted (XOR with a random non-zero value) with another, from a
// seeded generator, so a run can be repeated exactly. One thread.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace vexo::sim {

class LineNoise {
 public:
  LineNoise(double drop_rate, double corrupt_rate, std::uint32_t seed)
      : drop_rate_(drop_rate), corrupt_rate_(corrupt_rate), generator_(seed) {}

  bool active() const { return drop_rate_ > 0 || corrupt_rate_ > 0; }
  // Damages bytes in place; true when anything changed.
  bool Apply(std::vector<std::uint8_t>& bytes);

 private:
  double drop_rate_;
  double corrupt_rate_;
  std::mt19937 generator_;
};

}  // namespace vexo::sim
