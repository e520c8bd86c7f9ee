// The set-up check: before anything is flashed, whether this computer and
// this cable are ready, as one line per check (device found, access, other
// holders, opening and line rates, adapter latency, brltty, ModemManager, the
// udev rule). Reads /dev, /sys, /proc and the udev folders (all replaceable
// for tests) and opens each checked port briefly; sends nothing. Never fails:
// what cannot be looked at is told as a problem. Any thread; blocks while it
// opens ports.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/port_diagnosis.h"
#include "link/serial_control.h"

namespace vexo {

// ok: ready; warning: a job runs, but slower or at risk; problem: a job on
// that port cannot run until it is fixed.
enum class CheckVerdict { ok, warning, problem };

struct CheckLine {
  CheckVerdict verdict = CheckVerdict::ok;
  std::string what;
  std::string fix;  // empty for ok lines
};

struct SetupCheckContext {
  DiagnosisContext diagnosis;
  std::string udev_data = "/run/udev/data";
  std::vector<std::string> udev_rule_dirs = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                             "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
  std::vector<std::string> ports;  // "COMn" or device paths; empty: every device present
  std::vector<int> rates;          // line rates each port must take
  // What a latency timer of so many milliseconds costs a job; unset: not said.
  std::function<std::string(int latency_ms)> latency_cost;
  // Asks the radio on a port that passed every check (label "COM1" or the
  // device path), given that port closed and bound to its device, so that
  // the number passed to Open does not matter; unset: no probe.
  std::function<CheckLine(const std::string& label, SerialControl& port)> probe;
};

std::vector<CheckLine> RunSetupChecks(const SetupCheckContext& options);

// Moves every system folder the check reads below root (a fake tree of
// tests and demonstrations); the user stays the real one.
void PlaceUnderRoot(SetupCheckContext& context, const std::string& root);

// True when some line is a problem.
bool BlocksJob(const std::vector<CheckLine>& lines);

// "ok      <what>", "warning <what> — <fix>", "problem <what> — <fix>".
std::string FormatCheckLine(const CheckLine& line);

}  // namespace vexo
