// The measurements behind vexo-bench: whole downloads of vexo-flash against
// vexo-radio-sim, in-process jobs on a timing host, and image loading.
// Each returns figures; printing is the caller's.
#pragma once

#include <string>
#include <vector>

#include "bench/timing_host.h"

namespace vexo::bench {

struct WireRun {
  bool ok = false;
  std::string error;
  double measured_ms = 0;     // vexo-flash from start to exit
  double theoretical_ms = 0;  // bytes on the wire at 10 bits a byte, plus the fixed pauses
  double cpu_seconds = 0;     // user + system time of vexo-flash
};

struct WireSetup {
  int records = 512;  // 64 KiB of data
  int baud = 115200;
  int erase_ms = 300;
  bool pace = true;
  bool verify = true;
};

// One download by the vexo-flash program against its own simulator.
WireRun RunWire(const WireSetup& setup, const std::string& scratch);

// count downloads at once by one vexo-flash given count ports, each against a
// simulator of its own; each run's time is the one its summary row gives.
std::vector<WireRun> RunSeveralPorts(const WireSetup& setup, int count, const std::string& scratch);

struct OverheadRun {
  bool ok = false;
  std::string error;
  Spread micros;  // per exchange
  double records_per_second = 0;
};

enum class Recording { off, on };

// The engine in this process on the command-line host, against an unpaced
// simulator; with recording on, the job's history row is kept as vexo-flash
// keeps it (in a history file in scratch).
OverheadRun RunCommandLineOverhead(int records, const std::string& scratch,
                                   Recording recording = Recording::off);

// MB/s of LoadFirmwareImage on a file of mib MiB (best of three).
double ImageLoadRate(int mib, const std::string& scratch);

}  // namespace vexo::bench
