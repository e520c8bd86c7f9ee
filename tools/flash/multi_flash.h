// Several radios at once: one vexo-flash child process per port (the
// engine's state is process-wide), each followed only through its JSON
// events (history/job_event_schema.h), read through a pipe of its own. On a
// terminal one progress line per port is redrawn in place; messages are
// printed as "<port>: <text>"; a summary table ends the run. With json,
// every child's event lines go on to standard output whole, each naming its
// port, from a LineQueue (never waiting for the reader). Runs on the main
// thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vexo {

struct MultiFlashSetup {
  std::string program;  // this vexo-flash
  std::vector<std::string> ports;
  std::vector<std::string> common_args;  // every option but --port and --log
  std::optional<std::string> log_path;   // each port logs to <log>.<port>
  bool terminal = false;
  bool json = false;  // pass the children's events on
};

// 0 only when every download ran to its end.
int FlashEveryPort(const MultiFlashSetup& setup);

// The log file of one port: path + "." + the port name with '/' as '_'.
std::string PortLogPath(const std::string& path, const std::string& port);

}  // namespace vexo
