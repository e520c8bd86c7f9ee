// What the real-time server drives: something that plays the radio's side of
// a line on injected time. The simulated boot loader and the replay of a
// captured session both are one. Bytes from the host go in; line actions
// (bytes to write, rate changes, the end of a session, hang-up) come out when
// they are due. The caller owns the I/O; one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tools/radio_sim/report.h"
#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

struct LineAction {
  enum class Type {
    write,        // bytes to the host
    set_rate,     // the radio's line rate becomes rate
    session_end,  // a download (or a replay) completed; its last byte has left
    hang_up,      // close the line; nothing follows
  };
  Type type = Type::write;
  std::vector<std::uint8_t> bytes;
  int rate = 0;
};

// Appends action to the actions due, joining consecutive writes into one.
inline void AppendAction(std::vector<LineAction>& due, LineAction action) {
  if (action.type == LineAction::Type::write && !due.empty() &&
      due.back().type == LineAction::Type::write) {
    due.back().bytes.insert(due.back().bytes.end(), action.bytes.begin(), action.bytes.end());
    return;
  }
  due.push_back(std::move(action));
}

class LineEngine {
 public:
  virtual ~LineEngine() = default;

  // Bytes read from the line at now. host_rate: the rate the host's end is
  // set to, or 0 where it cannot be known (a real port).
  virtual void Receive(std::span<const std::uint8_t> bytes, int host_rate, SimTime now) = 0;
  // Does everything due by now and returns the line actions due, in order,
  // consecutive writes joined.
  virtual std::vector<LineAction> Run(SimTime now) = 0;
  // When Run has something to do next; empty when only input can change that.
  virtual std::optional<SimTime> NextWake() const = 0;
  // Records an event of the line itself ("opened", "closed", ...).
  virtual void NotePort(SimTime now, std::string note) = 0;
  virtual const Report& report() const = 0;
};

}  // namespace vexo::sim
