#include "tools/flash/setup_check_command.h"

#include "download/radio_probe.h"
#include "tools/flash/flash_options.h"

namespace vexo {

int RunSetupCheck(const SetupCheckOptions& options) {
  const std::vector<CheckLine> lines = RunSetupChecks(SystemSetupCheckContext(
      options.ports, options.firmware_path,
      options.probe ? ProbeRadioAlso::yes : ProbeRadioAlso::no, options.system_root));
  for (const CheckLine& line : lines) {
    std::fprintf(options.out, "%s\n", FormatCheckLine(line).c_str());
  }
  std::fflush(options.out);
  return BlocksJob(lines) ? kExitStopped : kExitCompleted;
}

}  // namespace vexo
