#include "bench/timing_host.h"

#include <algorithm>
#include <chrono>

namespace vexo::bench {

void TimingHost::AppendLine(const std::string& line) {
  // Programming and read-back exchanges only: the handshake and the erase
  // are paced by the protocol's own pauses.
  const bool block = line.rfind("S:50 ", 0) == 0 || line.rfind("S:52 ", 0) == 0;
  if (block && line.rfind("S:50 FF FF FF FF ", 0) != 0) {
    sends_.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count());
  }
  inner_.Log().AppendLine(line);
}

std::vector<double> TimingHost::ExchangeMicros() const {
  std::vector<double> micros;
  for (std::size_t i = 1; i < sends_.size(); ++i) {
    micros.push_back(static_cast<double>(sends_[i] - sends_[i - 1]) / 1000.0);
  }
  return micros;
}

Spread SpreadOf(std::vector<double> samples) {
  Spread spread;
  if (samples.empty()) return spread;
  std::sort(samples.begin(), samples.end());
  spread.median = samples[samples.size() / 2];
  spread.p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
  return spread;
}

}  // namespace vexo::bench
