#include "link/port_diagnosis.h"

#include "link/port_map.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vexo {
namespace {

namespace fs = std::filesystem;

// The name the kernel gives an interface claimed by a program through libusb.
constexpr char kUserSpaceDriver[] = "usbfs";

// USB-serial chips found in radio programming cables. brltty's own device
// list includes several of them, which is how it comes to take the cable.
struct CableChip {
  const char* vid_pid;
  const char* chip;
};
constexpr CableChip kCableChips[] = {
    {"0403:6001", "FTDI FT232"}, {"0403:6015", "FTDI FT231X"}, {"067b:2303", "Prolific PL2303"},
    {"1a86:7523", "WCH CH340"},  {"1a86:5523", "WCH CH341"},   {"10c4:ea60", "Silicon Labs CP210x"},
};

struct Process {
  int pid;
  std::string name;
};

std::string FirstLine(const fs::path& file) {
  return ReadFirstLine(file.string());
}

std::optional<int> PidOf(const std::string& name) {
  int pid = 0;
  auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (ec != std::errc() || end != name.data() + name.size() || pid <= 0) return std::nullopt;
  return pid;
}

std::vector<Process> RunningProcesses(const std::string& proc) {
  std::vector<Process> processes;
  std::error_code error;
  for (fs::directory_iterator it(proc, error), end; !error && it != end; it.increment(error)) {
    const std::optional<int> pid = PidOf(it->path().filename().string());
    if (pid) processes.push_back({*pid, FirstLine(it->path() / "comm")});
  }
  std::sort(processes.begin(), processes.end(),
            [](const Process& a, const Process& b) { return a.pid < b.pid; });
  return processes;
}

bool IsRunning(const std::vector<Process>& processes, const std::string& name) {
  return std::any_of(processes.begin(), processes.end(),
                     [&](const Process& process) { return process.name == name; });
}

// Character devices are the same device wherever their node is; anything
// else (the files of a fake tree) is the same file.
bool SameFile(const struct stat& a, const struct stat& b) {
  if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

struct Holders {
  std::vector<Process> named;
  bool some_unreadable = false;  // processes of other users keep their fds to themselves
};

Holders HoldersOf(const struct stat& device, const std::vector<Process>& processes,
                  const std::string& proc) {
  Holders holders;
  for (const Process& process : processes) {
    std::error_code error;
    fs::directory_iterator it(fs::path(proc) / std::to_string(process.pid) / "fd", error);
    if (error) {
      holders.some_unreadable |= error == std::errc::permission_denied;
      continue;
    }
    for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
      struct stat target {};
      if (stat(it->path().c_str(), &target) == 0 && SameFile(target, device)) {
        holders.named.push_back(process);
        break;
      }
    }
  }
  return holders;
}

std::string GroupName(gid_t gid) {
  const group* entry = getgrgid(gid);
  return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

std::string UserName(uid_t uid) {
  const passwd* entry = getpwuid(uid);
  return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

bool Contains(const std::vector<gid_t>& groups, gid_t gid) {
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// Whether the mode bits let the user read and write the device.
bool MayOpenByMode(const struct stat& info, const UserIdentity& user) {
  const bool owner_may = (info.st_mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
  const bool group_may = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  const bool others_may = (info.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH);
  if (user.uid == 0 || others_may) return true;
  if (user.uid == info.st_uid) return owner_may;
  return group_may && Contains(user.session_groups, info.st_gid);
}

void AddPermissionHints(const std::string& device, const struct stat& info,
                        const UserIdentity& user, std::vector<std::string>& hints) {
  const bool group_may = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  const std::string group = GroupName(info.st_gid);
  if (MayOpenByMode(info, user)) {
    hints.push_back("The permissions of " + device +
                    " allow access, yet it was refused: a sandbox (snap, flatpak) or a security "
                    "policy may be keeping the program from serial devices.");
  } else if (!group_may) {
    hints.push_back("Only " + UserName(info.st_uid) + " may open " + device + " (mode " +
                    ModeText(info.st_mode) + "): install the udev rule " + kUdevRuleName +
                    ", which lets group 'dialout' use programming cables, then plug the cable "
                    "in again (and join that group if you are not in it).");
  } else if (Contains(user.database_groups, info.st_gid)) {
    hints.push_back("You were added to group '" + group + "', which owns " + device +
                    ", after this session began: log out and back in (or, in a terminal, run "
                    "'newgrp " +
                    group + "' before starting VEXO).");
  } else {
    hints.push_back(device + " belongs to group '" + group +
                    "', which you are not in: run 'sudo usermod -aG " + group +
                    " $USER', then log out and back in.");
  }
}

// Returns the programs named as holders.
std::vector<Process> AddBusyHints(const std::string& device, const struct stat& info,
                                  const std::vector<Process>& processes, const std::string& proc,
                                  std::vector<std::string>& hints) {
  const Holders holders = HoldersOf(info, processes, proc);
  if (holders.named.empty()) {
    hints.push_back(device + " is in use by another program" +
                    (holders.some_unreadable ? " that runs as another user" : std::string()) +
                    ": 'sudo fuser -v " + device + "' names it; close it and try again.");
    return {};
  }
  std::string names;
  for (const Process& holder : holders.named) {
    names +=
        (names.empty() ? "" : ", ") + holder.name + " (pid " + std::to_string(holder.pid) + ")";
  }
  hints.push_back(device + " is in use by another program: " + names + ". Close it and try again.");
  return holders.named;
}

// Adapters of the cable list that are plugged in but carry no serial device:
// their interfaces have no driver, or a program took them through usbfs.
// Returns whether there was one.
bool AddStrandedAdapterHints(const DiagnosisContext& context, bool brltty_running,
                             std::vector<std::string>& hints) {
  bool found = false;
  const fs::path devices = fs::path(context.paths.sys) / "bus" / "usb" / "devices";
  std::error_code error;
  for (fs::directory_iterator it(devices, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.find(':') != std::string::npos) continue;  // an interface, not a device
    const std::string vid_pid =
        FirstLine(it->path() / "idVendor") + ":" + FirstLine(it->path() / "idProduct");
    const auto chip = std::find_if(std::begin(kCableChips), std::end(kCableChips),
                                   [&](const CableChip& c) { return vid_pid == c.vid_pid; });
    if (chip == std::end(kCableChips)) continue;

    bool bound = false;
    bool user_space = false;
    std::error_code inner;
    for (fs::directory_iterator sub(it->path(), inner), stop; !inner && sub != stop;
         sub.increment(inner)) {
      const std::string entry = sub->path().filename().string();
      if (entry.rfind(name + ":", 0) != 0) continue;
      std::error_code link_error;
      const fs::path driver = fs::read_symlink(sub->path() / "driver", link_error);
      if (link_error) continue;
      if (driver.filename() == kUserSpaceDriver) {
        user_space = true;
      } else {
        bound = true;
      }
    }
    if (bound) continue;

    std::string hint = "A " + std::string(chip->chip) + " USB-serial adapter (" + vid_pid +
                       ") is plugged in but has no serial device: ";
    if (brltty_running) {
      hint += "brltty has probably taken it (see below).";
    } else if (user_space) {
      hint += "a program has claimed it through usbfs; close it and plug the cable in again.";
    } else {
      hint += "no driver took it; 'sudo dmesg | tail' after plugging it in tells why.";
    }
    hints.push_back(hint);
    found = true;
  }
  return found;
}

bool IsAcmDevice(const std::string& device) {
  std::error_code error;
  const std::string name = fs::weakly_canonical(device, error).filename().string();
  return name.rfind("ttyACM", 0) == 0;
}

}  // namespace

std::string BrlttyHint() {
  return std::string(kBrlttyName) +
         " (a braille display service) is running and takes USB-serial adapters such as "
         "CH340/CH341 before a serial device is made for them: if no braille display is used "
         "here, run 'sudo apt remove brltty' (or 'sudo systemctl mask brltty-udev.service "
         "brltty.service'), then plug the cable in again.";
}

std::string ModemManagerHint() {
  return std::string(kModemManagerName) +
         " is running and probes new ttyACM devices (holding the port and sending it modem "
         "commands): add the cable to the udev rule " +
         kUdevRuleName + " (ID_MM_DEVICE_IGNORE) or run 'sudo systemctl stop ModemManager'.";
}

std::optional<AccessVerdict> CheckAccess(const std::string& device, const UserIdentity& user) {
  struct stat info {};
  if (stat(device.c_str(), &info) != 0) return std::nullopt;
  AccessVerdict verdict;
  verdict.allowed = MayOpenByMode(info, user);
  verdict.group = GroupName(info.st_gid);
  verdict.mode = ModeText(info.st_mode);
  if (!verdict.allowed) {
    std::vector<std::string> hints;
    AddPermissionHints(device, info, user, hints);
    if (!hints.empty()) verdict.hint = hints.front();
  }
  return verdict;
}

std::vector<std::string> ProgramsHolding(const std::string& device,
                                         const DiagnosisContext& context) {
  std::vector<std::string> names;
  struct stat info {};
  if (stat(device.c_str(), &info) != 0) return names;
  for (const Process& holder :
       HoldersOf(info, RunningProcesses(context.proc), context.proc).named) {
    names.push_back(holder.name + " (pid " + std::to_string(holder.pid) + ")");
  }
  return names;
}

bool IsProgramRunning(const std::string& name, const DiagnosisContext& context) {
  return IsRunning(RunningProcesses(context.proc), name);
}

std::vector<std::string> StrandedAdapterHints(const DiagnosisContext& context) {
  std::vector<std::string> hints;
  AddStrandedAdapterHints(context, IsProgramRunning(kBrlttyName, context), hints);
  return hints;
}

UserIdentity CurrentUser() {
  UserIdentity user;
  user.uid = getuid();
  const int count = getgroups(0, nullptr);
  if (count > 0) {
    user.session_groups.resize(static_cast<std::size_t>(count));
    const int got = getgroups(count, user.session_groups.data());
    user.session_groups.resize(static_cast<std::size_t>(std::max(got, 0)));
  }
  user.session_groups.push_back(getegid());

  const passwd* entry = getpwuid(user.uid);
  if (entry != nullptr) {
    int listed = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(listed));
    // getgrouplist says how many there are when the buffer is too small.
    if (getgrouplist(entry->pw_name, entry->pw_gid, groups.data(), &listed) < 0) {
      groups.resize(static_cast<std::size_t>(listed));
      getgrouplist(entry->pw_name, entry->pw_gid, groups.data(), &listed);
    }
    groups.resize(static_cast<std::size_t>(std::max(listed, 0)));
    user.database_groups = std::move(groups);
  }
  return user;
}

std::vector<std::string> OpenFailureHints(const std::string& device, int error,
                                          const DiagnosisContext& context) {
  std::vector<std::string> hints;
  if (error == ENOENT || error == ENODEV || error == ENXIO) {
    // With no serial device at all, the missing-device hints ask for the cable.
    if (!ListSerialDevices(context.paths).empty()) {
      hints.push_back("No such device: is the cable plugged in?");
    }
    const std::vector<std::string> more = MissingDeviceHints(context);
    hints.insert(hints.end(), more.begin(), more.end());
    return hints;
  }

  struct stat info {};
  const bool present = stat(device.c_str(), &info) == 0;
  const std::vector<Process> processes = RunningProcesses(context.proc);
  std::vector<Process> holders;
  if (present && (error == EACCES || error == EPERM)) {
    AddPermissionHints(device, info, context.user ? *context.user : CurrentUser(), hints);
  } else if (present && (error == EBUSY || error == EWOULDBLOCK)) {
    holders = AddBusyHints(device, info, processes, context.proc, hints);
  }
  // ModemManager probes ttyACM devices as they appear; on other devices only
  // its holding the port tells that it took an interest.
  if ((IsAcmDevice(device) && IsRunning(processes, kModemManagerName)) ||
      IsRunning(holders, kModemManagerName)) {
    hints.push_back(ModemManagerHint());
  }
  if (IsRunning(holders, kBrlttyName)) hints.push_back(BrlttyHint());
  return hints;
}

std::vector<std::string> MissingDeviceHints(const DiagnosisContext& context) {
  std::vector<std::string> hints;
  const bool none_present = ListSerialDevices(context.paths).empty();
  if (none_present) {
    hints.push_back(
        "No serial device found: plug in the radio's programming cable; if it is plugged in, "
        "'sudo dmesg | tail' shows whether the computer saw it.");
  }
  const bool brltty_running = IsRunning(RunningProcesses(context.proc), kBrlttyName);
  const bool stranded = AddStrandedAdapterHints(context, brltty_running, hints);
  if (brltty_running && (none_present || stranded)) hints.push_back(BrlttyHint());
  return hints;
}

}  // namespace vexo
