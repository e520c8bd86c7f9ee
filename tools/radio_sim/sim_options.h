// The command line of vexo-radio-sim: every option, its help text, and the
// parse into a simulator configuration. Pure; errors come back as text for
// the caller to print with the usage.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/radio_sim/sim_config.h"
#include "tools/radio_sim/test_image.h"

namespace vexo::sim {

struct ProgramOptions {
  SimConfig config;
  std::string device;                     // empty: a new pseudo-terminal
  bool once = false;                      // stop after one completed session
  bool verbose = false;                   // trace every event on standard error
  std::string report_path;                // JSON report written on stop
  std::string dump_path;                  // raw flash contents written on stop
  std::string replay_path;                // a traffic log to play instead of the loader
  std::optional<std::string> image_path;  // write a test image there and exit
  ImageLayout image;
  bool help = false;
};

struct ParsedOptions {
  std::optional<ProgramOptions> options;
  std::string error;  // when options is empty
};

// args: the arguments after the program name.
ParsedOptions ParseOptions(std::span<const std::string> args);

std::string_view UsageText();

}  // namespace vexo::sim
