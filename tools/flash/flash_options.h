// The command line of vexo-flash:
//   vexo-flash [--port NAME] [--baud N] [--verify] [--log FILE] [--list] [FIRMWARE]
//   vexo-flash --check [--probe] [--port NAME] [FIRMWARE]
// Parsing only; defaults from system.ini are applied by the caller.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "history/chain_head.h"

namespace vexo {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitStopped = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kDefaultHistoryRows = 20;  // --history without a count

struct FlashOptions {
  std::vector<std::string> ports;  // --port, may be given more than once
  std::optional<int> baud;
  bool verify = false;
  std::optional<std::string> log_path;
  bool log_times = false;
  bool json = false;  // events as JSON lines on standard output
  bool list = false;
  bool help = false;
  bool check = false;       // --check: the set-up check instead of a job
  bool probe = false;       // --probe: with --check, probe the radio too
  std::string system_root;  // internal: --system-root DIR, a fake tree for --check
  std::optional<std::string> firmware;
  // The job history: where it is, and the commands that look at it.
  std::optional<std::string> history_file;           // --history-file FILE
  std::optional<int> history_list;                   // --history [N]
  bool history_check = false;                        // --history-check
  std::optional<ChainHead> history_expect_head;      // --expect-head ROWS:DIGEST
  std::optional<std::string> history_export_format;  // --history-export csv|json FILE
  std::string history_export_file;
};

struct ParsedOptions {
  FlashOptions options;
  std::string error;  // one-line reason; empty when the line is good
};

// args: the words after the program name. Uses getopt_long, whose state is
// the process's: call from one thread at a time.
ParsedOptions ParseFlashOptions(const std::vector<std::string>& args);

// The rates the radio's boot loader can be switched to.
bool IsTargetBaud(int baud);

// "COMn" (any case, 1 <= n <= kCommPortCount) or a device path (holds '/').
bool IsPortName(const std::string& name);

// What a run works on: the command line's firmware file and port, else the
// ones the window saved. A missing one (the port only matters for a single
// download; --check needs neither) or a saved port that names no port is a
// usage error, given as a one-line reason in `error`.
struct FlashTarget {
  std::string firmware;
  std::string port;
  std::string error;
};
FlashTarget ResolveFlashTarget(const FlashOptions& options, const std::string& saved_firmware,
                               const std::string& saved_port);

const char* FlashUsage();

}  // namespace vexo
