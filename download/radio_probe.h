// The radio side of the set-up check: the read-only probe (probe A at each
// probe rate in turn until the radio acknowledges; nothing else is sent, so
// nothing in the radio changes), the line rates a port must take, and what a
// slow USB adapter costs a job. Blocking, on the caller's thread; failures
// are return values.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/frame_exchange.h"
#include "link/setup_check.h"

namespace vexo {

// On an open port: the probe rate at which the radio answered, or nullopt.
// Leaves the port at the last rate tried.
std::optional<int> ProbeRadio(FrameExchange& exchange);

// Opens port (bound to its device by the set-up check), probes, closes it
// again: one check line.
CheckLine ProbeCheckLine(const std::string& label, SerialControl& port);

// The programming rates, then the rates only probes use, ascending.
std::vector<int> CheckedLineRates();

// The records of the firmware file at path, or nullopt when it cannot be read.
std::optional<int> FirmwareRecordCount(const std::string& path);

// What a latency timer of latency_ms costs an erase, program and read-back at
// the fastest rate, for records records (nullopt: per 512 records, 64 KiB).
std::string LatencyCostText(int latency_ms, std::optional<int> records);

// The set-up check on this computer (or on the fake tree at root): the
// rates, the latency cost for firmware_path's records (when it can be read)
// and the ports to check (none: every one present); with ProbeRadioAlso::yes
// the radio is probed on every port that passes. Built with the POSIX link
// files only (setup_check_context.cpp), like the check it sets up.
enum class ProbeRadioAlso { no, yes };
SetupCheckContext SystemSetupCheckContext(const std::vector<std::string>& ports,
                                          const std::string& firmware_path, ProbeRadioAlso probe,
                                          const std::string& root = {});

}  // namespace vexo
