#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

namespace {

constexpr std::array<std::string_view, kMessageKindCount> kKindNames = {
    "probe_a",   "probe_b",   "firmwar", "downing", "identity", "bpsset",       "bpsset_plain",
    "echo_test", "erase_all", "program", "closing", "finish",   "read_request",
};

struct RateCode {
  std::uint8_t code;
  int rate;
};
constexpr std::array<RateCode, 5> kRateCodes = {{
    {'0', 9600},
    {'1', 19200},
    {'2', 38400},
    {'3', 57600},
    {'4', 115200},
}};

}  // namespace

std::string_view KindName(MessageKind kind) {
  return kKindNames[static_cast<std::size_t>(kind)];
}

std::optional<MessageKind> KindFromName(std::string_view name) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == name) return static_cast<MessageKind>(i);
  }
  return std::nullopt;
}

std::optional<int> RateOfCode(std::uint8_t code) {
  for (const RateCode& entry : kRateCodes) {
    if (entry.code == code) return entry.rate;
  }
  return std::nullopt;
}

}  // namespace vexo::sim
