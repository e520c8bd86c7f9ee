// Runs a line engine (the simulator or a replay) on a line in real time:
// waits in poll(2) for the host's bytes, the engine's next due time, the host opening or closing
// the port and a stop signal; reads, hands bytes over with the host's current rate, and carries out
// the line actions. Returns when a stop signal arrives, the line has been hung up, the line fails,
// or (with once) after the first completed session, as soon as the host has closed the port or the
// linger time has passed (a pseudo-terminal loses what the host has not read when it goes). One
// thread.
#pragma once

#include <ostream>

#include "tools/radio_sim/line.h"
#include "tools/radio_sim/line_engine.h"

namespace vexo::sim {

struct ServeOptions {
  bool once = false;                         // stop after the first completed session (see Serve)
  SimTime linger = std::chrono::seconds(2);  // longest wait for the host to close, with once
  std::ostream* trace = nullptr;             // every report event as a line, when set
};

enum class ServeEnd { stopped, session_done, hung_up, line_failed };

// signal_fd: a signalfd for the stop signals (or -1).
ServeEnd Serve(Line& line, LineEngine& sim, const ServeOptions& options, int signal_fd);

}  // namespace vexo::sim
