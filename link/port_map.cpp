#include "link/port_map.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

#include "app/settings.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;

// Device families in COM order. USB-serial converters (ttyUSB) come before
// CDC-ACM devices (ttyACM): programming cables are almost always converters,
// while ACM devices are as often modems or development boards.
enum class Family { usb_serial, usb_acm, onboard };

struct Candidate {
  Family family;
  unsigned number;
  std::string name;  // "ttyUSB0"
};

constexpr struct {
  const char* prefix;
  Family family;
} kFamilies[] = {
    {"ttyUSB", Family::usb_serial},
    {"ttyACM", Family::usb_acm},
    {"ttyS", Family::onboard},
};

// The number after a family prefix, for natural order (ttyUSB2 before ttyUSB10).
std::optional<Candidate> Classify(const std::string& name) {
  for (const auto& family : kFamilies) {
    const std::string_view prefix = family.prefix;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    unsigned number = 0;
    auto [end, ec] = std::from_chars(first, last, number);
    if (ec == std::errc() && end == last) return Candidate{family.family, number, name};
  }
  return std::nullopt;
}

std::string FirstLine(const fs::path& file) {
  return ReadFirstLine(file.string());
}

fs::path TtyClassDir(const SystemPaths& paths, const std::string& name) {
  return fs::path(paths.sys) / "class" / "tty" / name;
}

// An on-board port counts when a driver has claimed it and the driver found a
// UART behind it: serial8250 registers placeholder ports whose type is 0
// (unknown), and those have nothing attached.
bool HasHardware(const SystemPaths& paths, const std::string& name) {
  std::error_code error;
  const fs::path dir = TtyClassDir(paths, name);
  if (!fs::exists(dir / "device" / "driver", error)) return false;
  const std::string type = FirstLine(dir / "type");
  unsigned value = 0;
  auto [end, ec] = std::from_chars(type.data(), type.data() + type.size(), value);
  return ec == std::errc() && end == type.data() + type.size() && value != 0;
}

// The driver that serves the tty. Serial-core ports sit below a port and a
// controller device bound to the generic drivers "port" and "ctrl"; the name
// worth telling is the one above them (serial8250, ...).
std::string DriverOf(fs::path dir) {
  constexpr int kSerialCoreLevels = 3;
  std::string name;
  for (int level = 0; level < kSerialCoreLevels; ++level) {
    std::error_code error;
    name = fs::read_symlink(dir / "driver", error).filename().string();
    if (name != "port" && name != "ctrl") break;
    dir = dir.parent_path();
  }
  return name;
}

// USB identity from the USB device that carries the tty (the first directory
// above the tty's device that holds idVendor and idProduct), and the driver
// bound to the tty's device.
void AddUsbIdentity(const SystemPaths& paths, SerialDevice& device) {
  std::error_code error;
  const std::string name = TtyNameOf(device.device);
  if (name.empty()) return;
  fs::path dir = fs::canonical(TtyClassDir(paths, name) / "device", error);
  if (error) return;
  device.driver = DriverOf(dir);
  const fs::path sys_root = fs::weakly_canonical(paths.sys, error);
  constexpr int kMaxLevels = 8;  // tty -> interface -> device, with room to spare
  for (int level = 0; level < kMaxLevels && dir.has_relative_path() && dir != sys_root; ++level) {
    if (fs::exists(dir / "idVendor", error) && fs::exists(dir / "idProduct", error)) {
      device.vid_pid = FirstLine(dir / "idVendor") + ":" + FirstLine(dir / "idProduct");
      device.product = FirstLine(dir / "product");
      device.serial = FirstLine(dir / "serial");
      device.devpath = "/" + dir.lexically_relative(sys_root).generic_string();
      return;
    }
    dir = dir.parent_path();
  }
}

bool SameDevice(const std::string& a, const std::string& b) {
  std::error_code error;
  return a == b || fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

}  // namespace

// A device path that is itself named like a tty is taken as it is (a test
// tree may link it elsewhere); a settings path such as /dev/serial/by-id/...
// is followed to its tty.
std::string TtyNameOf(const std::string& device) {
  const std::string own = fs::path(device).filename().string();
  if (Classify(own)) return own;
  std::error_code error;
  return fs::weakly_canonical(device, error).filename().string();
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

std::vector<SerialDevice> ListSerialDevices(const SystemPaths& paths) {
  std::vector<Candidate> found;
  std::error_code error;
  for (fs::directory_iterator it(paths.dev, error), end; !error && it != end; it.increment(error)) {
    std::optional<Candidate> candidate = Classify(it->path().filename().string());
    if (!candidate) continue;
    if (candidate->family == Family::onboard && !HasHardware(paths, candidate->name)) continue;
    found.push_back(*candidate);
  }
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    return std::tie(a.family, a.number) < std::tie(b.family, b.number);
  });

  std::vector<SerialDevice> devices;
  for (const Candidate& candidate : found) {
    SerialDevice device;
    if (devices.size() < kCommPortCount) device.name = "COM" + std::to_string(devices.size() + 1);
    device.device = (fs::path(paths.dev) / candidate.name).string();
    AddUsbIdentity(paths, device);
    devices.push_back(std::move(device));
  }
  return devices;
}

std::vector<SerialDevice> CommPortMap(const SystemPaths& paths) {
  // Overrides pin their numbers; the devices present that no override names
  // fill the free numbers in their listed order.
  std::vector<SerialDevice> pinned(kCommPortCount + 1);
  for (int number = 1; number <= kCommPortCount; ++number) {
    const std::string path = ReadSetting(setting::kPorts, "com" + std::to_string(number));
    if (path.empty()) continue;
    SerialDevice& device = pinned[number];
    device.device = path;
    device.from_settings = true;
    AddUsbIdentity(paths, device);
  }

  std::vector<SerialDevice> map;
  std::vector<SerialDevice> present = ListSerialDevices(paths);
  auto next = present.begin();
  for (int number = 1; number <= kCommPortCount; ++number) {
    SerialDevice device = pinned[number];
    if (!device.from_settings) {
      while (next != present.end() &&
             std::any_of(pinned.begin(), pinned.end(), [&](const SerialDevice& other) {
               return other.from_settings && SameDevice(other.device, next->device);
             })) {
        ++next;
      }
      if (next == present.end()) continue;
      device = *next++;
    }
    device.name = "COM" + std::to_string(number);
    map.push_back(std::move(device));
  }
  return map;
}

std::optional<std::string> ResolveCommPort(int number, const SystemPaths& paths) {
  if (number < 1 || number > kCommPortCount) return std::nullopt;
  const std::string name = "COM" + std::to_string(number);
  for (const SerialDevice& device : CommPortMap(paths)) {
    if (device.name == name) return device.device;
  }
  return std::nullopt;
}

std::optional<std::string> ResolvePortName(const std::string& name, const SystemPaths& paths) {
  if (name.find('/') != std::string::npos) return name;
  if (name.size() < 4) return std::nullopt;
  for (std::size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
  }
  int number = 0;
  auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), number);
  if (ec != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return ResolveCommPort(number, paths);
}

}  // namespace vexo
