// Which device each port name ("COM1".."COM16") stands for on Linux. An entry
// comN=/path in section "ports" of system.ini wins; otherwise COM1, COM2, ...
// are the serial devices present: USB adapters (ttyUSB*, ttyACM*) first in
// name order, then on-board ports that have real hardware behind them.
// Reads /dev and /sys afresh on every call (cables come and go).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vexo {

inline constexpr int kCommPortCount = 16;

struct SystemPaths {
  std::string dev = "/dev";
  std::string sys = "/sys";
};

struct SerialDevice {
  std::string name;     // "COM1"..; empty for devices beyond kCommPortCount
  std::string device;   // "/dev/ttyUSB0"
  std::string product;  // USB product text, where sysfs has it
  std::string vid_pid;  // "0403:6001", where sysfs has it
  std::string serial;   // USB serial number, where the adapter has one
  std::string devpath;  // the USB device below /sys: "/devices/pci0000:00/.../1-1.2"
  std::string driver;   // the tty's driver: "ftdi_sio", "cdc_acm", "serial8250"
  bool from_settings = false;
};

// The serial devices present, in COM order, without settings overrides.
std::vector<SerialDevice> ListSerialDevices(const SystemPaths& paths = {});

// COM1..COM16 with the settings overrides applied; entries without a device
// are left out.
std::vector<SerialDevice> CommPortMap(const SystemPaths& paths = {});

// The device of COMn, or nullopt.
std::optional<std::string> ResolveCommPort(int number, const SystemPaths& paths = {});

// The first line of a small system file (sysfs, procfs) without its trailing
// blanks; empty when it cannot be read.
std::string ReadFirstLine(const std::string& path);

// The tty's name under /sys/class/tty ("ttyUSB0"): the device path's own
// name when it is named like a tty, else the name of what it links to.
std::string TtyNameOf(const std::string& device);

// "COMn" (any case) through ResolveCommPort; anything containing '/' as a
// device path unchanged; nullopt otherwise.
std::optional<std::string> ResolvePortName(const std::string& name, const SystemPaths& paths = {});

}  // namespace vexo
