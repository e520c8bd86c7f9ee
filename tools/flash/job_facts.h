// What vexo-flash knows of a job before it starts: the port and the device it
// resolves to, rate, mode, and the firmware file's size, SHA-256, records and
// trailing bytes, for the traffic log's header line. Reads the file and /dev;
// never fails (what cannot be read is left empty). Main thread.
#pragma once

#include <cstdint>
#include <string>

#include "tools/flash/console_host.h"

namespace vexo {

struct JobFacts {
  std::string started_utc;  // "2026-12-09T04:10:00Z"
  std::string version;      // "2.20a"
  std::string port;         // as chosen: "COM1" or a path
  std::string device;       // what it resolves to now; empty when nothing
  int baud = 0;
  int mode = 0;
  std::string firmware_path;
  bool firmware_readable = false;
  std::int64_t firmware_bytes = 0;
  std::string firmware_sha256;
  int records = 0;
  std::int64_t trailing_bytes = 0;
};

JobFacts GatherJobFacts(const ConsoleJob& job);

// The log's header line, without the '#' and the line end.
std::string LogHeaderText(const JobFacts& facts);

// "E.P" or "E.P.R".
const char* ModeName(int mode);

}  // namespace vexo
