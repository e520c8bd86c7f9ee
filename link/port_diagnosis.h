// Set-up help for a serial port that cannot be opened, or for a computer that
// shows no serial device at all: the device's group and how to join it, the
// program holding the port, brltty taking USB-serial adapters, ModemManager
// probing ttyACM devices. Reads /dev, /sys and /proc (roots replaceable for
// tests) afresh on every call. Never fails: what cannot be read is simply not
// told. Each hint is one short English line. Any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "link/port_map.h"

namespace vexo {

// Who the user is, as far as device permissions go.
struct UserIdentity {
  uid_t uid = 0;
  std::vector<gid_t> session_groups;   // the groups this process runs with, primary included
  std::vector<gid_t> database_groups;  // the groups the group database gives the user now
};

struct DiagnosisContext {
  SystemPaths paths;  // dev and sys
  std::string proc = "/proc";
  std::optional<UserIdentity> user;  // unset: the user this process runs as
};

inline constexpr char kUdevRuleName[] = "60-vexo-serial.rules";
inline constexpr char kBrlttyName[] = "brltty";
inline constexpr char kModemManagerName[] = "ModemManager";

// The running process's user.
UserIdentity CurrentUser();

// Whether the device's mode lets the user open it; when not, the hint that
// says how to get access. nullopt when the device cannot be looked at.
struct AccessVerdict {
  bool allowed = false;
  std::string hint;   // empty when allowed
  std::string group;  // the device's group and mode, e.g. "dialout", "0660"
  std::string mode;
};
std::optional<AccessVerdict> CheckAccess(const std::string& device, const UserIdentity& user);

// The programs visible in /proc that hold the device open, as "name (pid N)"
// texts, in pid order.
std::vector<std::string> ProgramsHolding(const std::string& device,
                                         const DiagnosisContext& context = {});

// Whether a process of that name (its /proc comm) is running.
bool IsProgramRunning(const std::string& name, const DiagnosisContext& context = {});

// Hints on USB-serial adapters of the usual cable chips that are plugged in
// but carry no serial device.
std::vector<std::string> StrandedAdapterHints(const DiagnosisContext& context = {});

std::string BrlttyHint();
std::string ModemManagerHint();

// Hints for a device whose open failed with error (an errno value).
std::vector<std::string> OpenFailureHints(const std::string& device, int error,
                                          const DiagnosisContext& context = {});

// Hints for a port that names no device present: when no serial device is
// present at all, how to get one; in any case USB-serial adapters that are
// plugged in but have no serial device, and why.
std::vector<std::string> MissingDeviceHints(const DiagnosisContext& context = {});

}  // namespace vexo
