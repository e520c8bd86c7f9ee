// vexo-flash --check: the set-up check from a terminal. One line per check on
// out ("ok      ...", "warning ... — fix", "problem ... — fix"); with probe,
// a read-only probe of the radio on every port that passed. Returns the exit
// status: kExitCompleted when nothing blocks a job, kExitStopped otherwise.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vexo {

struct SetupCheckOptions {
  std::vector<std::string> ports;  // empty: every serial device present
  bool probe = false;
  std::string firmware_path;  // for the latency cost; may be empty
  std::string system_root;    // a fake tree in place of /dev, /sys, /proc, udev's folders
  std::FILE* out = stdout;
};

int RunSetupCheck(const SetupCheckOptions& options);

}  // namespace vexo
