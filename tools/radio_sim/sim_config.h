// Everything that shapes one simulator run: the loader's properties, the
// line's timing and the faults to inject. Plain data, filled by the command
// line (sim_options.h) or by tests; read-only once the simulator runs.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

using KindSet = std::bitset<kMessageKindCount>;
inline KindSet AllKinds() {
  return KindSet().set();
}

// A record fault: record `record` (0 is the first record programmed) is hit
// on its first `attempts` attempts, or on every attempt when attempts is 0.
struct RecordFault {
  int record = 0;
  int attempts = 0;
};

enum class NoiseDirection { in, out, both };

struct FaultOptions {
  std::optional<int> probe_rate = kStartRate;               // empty: no probe is answered
  std::optional<std::uint8_t> downing_reply = kDowningAck;  // empty: none
  std::optional<std::uint8_t> erase_reply = kEraseAck;      // empty: none
  std::vector<RecordFault> no_echo;
  std::vector<RecordFault> wrong_echo;
  std::vector<std::uint8_t> extra;  // appended to replies of extra_kinds
  KindSet extra_kinds = AllKinds();
  int split_pieces = 1;  // replies of split_kinds go out in this many pieces
  SimTime split_pause{0};
  KindSet split_kinds = AllKinds();
  std::vector<int> corrupt_page_data;  // page replies (0 is the first sent)
  std::vector<int> corrupt_page_sum;
  std::vector<std::uint32_t> corrupt_flash;  // flash addresses, flipped once written
  bool run_zero = false;                     // run replies say L = 0
  bool closing_silent = false;
  bool finish_silent = false;
  double drop_rate = 0.0;  // per byte
  double corrupt_rate = 0.0;
  NoiseDirection noise = NoiseDirection::both;
  std::uint32_t seed = 1;
  std::optional<int> hang_up_after;  // records echoed before the line closes
};

inline constexpr std::array<std::uint8_t, 8> kDefaultIdentity = {'V', 'X', 'B',  'O',
                                                                 'O', 'T', 0x02, 0x20};

struct SimConfig {
  std::size_t flash_size = 64 * 1024;
  std::array<std::uint8_t, 8> identity = kDefaultIdentity;
  SimTime erase_time = std::chrono::milliseconds(1500);
  SimTime write_time{0};  // per record
  SimTime gap = std::chrono::milliseconds(50);
  bool pace = false;
  bool run_replies = false;
  int run_min = 2;  // shortest run answered with a RunReply
  FaultOptions faults;
};

}  // namespace vexo::sim
