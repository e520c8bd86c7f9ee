#include "tools/flash/setup_check_command.h"

#include "download/radio_probe.h"
#include "tools/flash/flash_options.h"

namespace vexo {

int RunSetupCheck(const SetupCheckOptions& options) {
  SetupCheckResult result = RunSetupChecks(
      SystemSetupCheckContext(options.ports, options.firmware_path, options.system_root));
  if (options.probe) {
    for (const CheckedPort& checked : result.ports) {
      if (checked.usable) result.lines.push_back(ProbeCheckLine(checked.label, checked.device));
    }
  }
  for (const CheckLine& line : result.lines) {
    std::fprintf(options.out, "%s\n", FormatCheckLine(line).c_str());
  }
  std::fflush(options.out);
  return BlocksJob(result.lines) ? kExitStopped : kExitCompleted;
}

}  // namespace vexo
