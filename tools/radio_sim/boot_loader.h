// The boot loader's answers: given one complete message, what it does to its
// flash and what it sends back, with the protocol faults of the run applied.
// Knows nothing of time or of the line; the simulator (simulator.h) decides
// when a message is handled and when its reply leaves. One thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/radio_sim/flash_memory.h"
#include "tools/radio_sim/sim_config.h"
#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

struct Response {
  std::vector<std::uint8_t> reply;  // empty: nothing is sent
  SimTime work{0};                  // time spent before the reply can leave
  std::optional<int> rate_after;    // the loader's rate once the reply has left
  bool restart = false;             // back to the start rate at once (a new handshake)
  bool session_complete = false;    // the final 06 of a download
  bool hang_up = false;             // the line closes (nothing is sent)
  std::string note;                 // why nothing or something unusual was sent
};

class BootLoader {
 public:
  explicit BootLoader(const SimConfig& config);

  // kind and bytes as the message reader found them. Probe frames come here
  // only when they were sent at the probe rate.
  Response Handle(MessageKind kind, std::span<const std::uint8_t> bytes);

  const FlashMemory& flash() const { return flash_; }

 private:
  Response HangUp() const;
  Response Downing() const;
  Response SetRate(std::span<const std::uint8_t> bytes) const;
  Response Erase();
  Response Program(std::span<const std::uint8_t> bytes);
  Response Closing(std::span<const std::uint8_t> bytes);
  Response Finish() const;
  Response Read(std::span<const std::uint8_t> bytes);
  // Counts the attempt and returns the record number of a program message.
  int CountAttempt(std::uint32_t address);
  bool Hit(const std::vector<RecordFault>& faults, int record) const;

  SimConfig config_;
  FlashMemory flash_;
  bool closing_seen_ = false;  // the closing frame came and nothing else since
  int record_ = -1;            // number of the record last programmed
  std::optional<std::uint32_t> record_address_;
  int attempt_ = 0;  // attempts of that record so far, this one included
  int page_replies_ = 0;
  bool hang_up_armed_ = false;  // the last record before the hang-up was echoed
};

}  // namespace vexo::sim
