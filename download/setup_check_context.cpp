#include "download/radio_probe.h"

namespace vexo {

SetupCheckContext SystemSetupCheckContext(const std::vector<std::string>& ports,
                                          const std::string& firmware_path, ProbeRadioAlso probe,
                                          const std::string& root) {
  SetupCheckContext options;
  PlaceUnderRoot(options, root);
  options.ports = ports;
  options.rates = CheckedLineRates();
  const std::optional<int> records = FirmwareRecordCount(firmware_path);
  options.latency_cost = [records](int latency_ms) {
    return LatencyCostText(latency_ms, records && *records > 0 ? records : std::nullopt);
  };
  if (probe == ProbeRadioAlso::yes) options.probe = ProbeCheckLine;
  return options;
}

}  // namespace vexo
