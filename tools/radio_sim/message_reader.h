// Cuts the byte stream from the host into the boot loader's messages. Each
// message is told by its first byte (and, for 'D', 'B', its second) and has a
// known length; fixed texts are checked byte by byte as they come. A byte
// that cannot start a message is dropped on its own and reading starts again
// at the next one. A partial message followed by a silence of `gap` is
// dropped, except "BPSSET", which then counts as sent without a rate code.
// Pure logic on injected time; one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

// A complete message (kind set) or bytes dropped unread (kind empty).
struct Framed {
  std::optional<MessageKind> kind;
  std::vector<std::uint8_t> bytes;
  SimTime first;                 // when its first byte was read
  SimTime last;                  // when its last byte was read
  int rate = 0;                  // the host's line rate while it was read
  std::string_view drop_reason;  // for dropped bytes
};

class MessageReader {
 public:
  explicit MessageReader(SimTime gap) : gap_(gap) {}

  // Bytes read at `now` while the host's rate was `rate`.
  void Push(std::span<const std::uint8_t> bytes, SimTime now, int rate);
  // Applies the silence rule for the time now.
  void Expire(SimTime now);
  // Drops any partial message (the line carried garbage in between).
  void Abandon(std::string_view reason);
  // When Expire has something to do; empty with nothing buffered.
  std::optional<SimTime> Deadline() const;
  bool Empty() const { return buffer_.empty(); }

  // Messages and dropped bytes in the order they were found.
  std::vector<Framed> Take();

 private:
  enum class Verdict { complete, need_more, invalid };
  struct Match {
    Verdict verdict = Verdict::invalid;
    MessageKind kind = MessageKind::finish;
    std::size_t length = 0;
  };

  Match Classify(bool silent) const;
  void Scan(bool silent);
  void Emit(std::optional<MessageKind> kind, std::size_t length, std::string_view reason);

  SimTime gap_;
  std::vector<std::uint8_t> buffer_;
  std::vector<SimTime> times_;
  int rate_ = 0;
  std::vector<Framed> out_;
};

}  // namespace vexo::sim
