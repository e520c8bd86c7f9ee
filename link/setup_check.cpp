#include "link/setup_check.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "link/cmscomm.h"
#include "link/port_map.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;

constexpr char kLatencyTimerFile[] = "latency_timer";
constexpr int kLowLatencyMs = 1;
constexpr char kModemManagerIgnore[] = "E:ID_MM_DEVICE_IGNORE=1";  // a udev database entry
constexpr char kFixSeparator[] = " — ";

CheckLine Ok(std::string what) {
  return {CheckVerdict::ok, std::move(what), {}};
}
CheckLine Warning(std::string what, std::string fix) {
  return {CheckVerdict::warning, std::move(what), std::move(fix)};
}
CheckLine Problem(std::string what, std::string fix) {
  return {CheckVerdict::problem, std::move(what), std::move(fix)};
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : separator) + parts[i];
  return text;
}

std::string FirstLineOf(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

std::optional<int> NumberIn(const std::string& text) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

fs::path TtySysDir(const SetupCheckContext& options, const std::string& device) {
  return fs::path(options.diagnosis.paths.sys) / "class" / "tty" / TtyNameOf(device);
}

std::string DeviceDescription(const std::string& label, const SerialDevice& device) {
  std::string text = label == device.device ? label : label + " = " + device.device;
  std::vector<std::string> parts;
  if (!device.vid_pid.empty()) {
    parts.push_back("USB " + device.vid_pid +
                    (device.product.empty() ? "" : " \"" + device.product + "\""));
  }
  if (!device.serial.empty()) parts.push_back("serial number " + device.serial);
  if (!device.driver.empty()) parts.push_back("driver " + device.driver);
  return parts.empty() ? text : text + ": " + Joined(parts, ", ");
}

// The errno a failed open stands for, so that the set-up hints can explain it.
int ErrorNumberOf(PortError error) {
  switch (error) {
    case PortError::not_found:
      return ENOENT;
    case PortError::permission_denied:
      return EACCES;
    case PortError::busy:
      return EBUSY;
    default:
      return 0;
  }
}

std::string RatesText(const std::vector<int>& rates) {
  std::vector<std::string> texts;
  for (int rate : rates) texts.push_back(std::to_string(rate));
  return Joined(texts, ", ");
}

std::optional<int> LatencyTimerMs(const SetupCheckContext& options, const std::string& device) {
  return NumberIn(
      ReadFirstLine((TtySysDir(options, device) / "device" / kLatencyTimerFile).string()));
}

CheckLine LatencyLine(const SetupCheckContext& options, const std::string& label,
                      const std::string& device, int latency_ms, bool opened) {
  if (latency_ms <= kLowLatencyMs) {
    return Ok(label + ": adapter latency timer " + std::to_string(latency_ms) + " ms");
  }
  std::string what =
      label + ": adapter latency timer " + std::to_string(latency_ms) + " ms" +
      (opened ? " (VEXO's low-latency request did not take)"
              : " (the port did not open, so VEXO's low-latency request was not tried)");
  std::string fix;
  if (options.latency_cost) fix = options.latency_cost(latency_ms) + " ";
  fix += "Install the udev rule " + std::string(kUdevRuleName) +
         ", which sets it to 1 ms, and plug the cable in again; or at once: echo 1 | sudo tee "
         "/sys/bus/usb-serial/devices/" +
         TtyNameOf(device) + "/" + kLatencyTimerFile;
  return Warning(std::move(what), std::move(fix));
}

CheckLine ModemManagerLine(const SetupCheckContext& options, const std::string& label,
                           const std::string& device) {
  const std::string numbers = ReadFirstLine((TtySysDir(options, device) / "dev").string());
  std::ifstream entries(fs::path(options.udev_data) / ("c" + numbers));
  for (std::string entry; !numbers.empty() && std::getline(entries, entry);) {
    if (entry == kModemManagerIgnore) {
      return Ok(label + ": ModemManager is told to leave it alone (ID_MM_DEVICE_IGNORE)");
    }
  }
  return Warning(label + ": ModemManager is running and may probe it (no ID_MM_DEVICE_IGNORE)",
                 ModemManagerHint());
}

// Opens the port, sets every rate, and reads the latency timer while the
// port is open (the low-latency request is made on opening). Returns whether
// the port opened.
bool CheckOpening(const SetupCheckContext& options, const std::string& label,
                  const std::string& device, std::vector<CheckLine>& lines) {
  CMSComm port;
  port.SetDevicePath(device);
  port.SetRTSEnable(false);  // the check only looks: a radio on the line is not signalled
  const int first_rate = options.rates.empty() ? LineSettings{}.baud : options.rates.front();
  const PortStatus opened = port.Open(/*comm_port=*/0, first_rate);
  const std::optional<int> latency = LatencyTimerMs(options, device);
  if (!opened.ok()) {
    const std::vector<std::string> hints =
        OpenFailureHints(device, ErrorNumberOf(opened.error), options.diagnosis);
    lines.push_back(Problem(label + ": does not open: " + FirstLineOf(opened.reason),
                            hints.empty() ? "see the reason above" : Joined(hints, " ")));
    if (latency) lines.push_back(LatencyLine(options, label, device, *latency, false));
    return false;
  }
  std::vector<int> refused;
  for (int rate : options.rates) {
    if (!port.SetRate(rate).ok()) refused.push_back(rate);
  }
  if (refused.empty()) {
    lines.push_back(Ok(label + ": opens and takes " + RatesText(options.rates) + " baud"));
  } else {
    lines.push_back(Problem(label + ": opens but does not take " + RatesText(refused) + " baud",
                            "the adapter or its driver cannot run these rates; use another "
                            "cable"));
  }
  if (latency) lines.push_back(LatencyLine(options, label, device, *latency, true));
  port.Close();
  return true;
}

void CheckPort(const SetupCheckContext& options, const SerialDevice& device, bool modem_manager,
               std::vector<CheckLine>& lines) {
  const std::string label = device.name.empty() ? device.device : device.name;
  const std::size_t first = lines.size();
  lines.push_back(Ok(DeviceDescription(label, device)));

  const UserIdentity user = options.diagnosis.user ? *options.diagnosis.user : CurrentUser();
  const std::optional<AccessVerdict> access = CheckAccess(device.device, user);
  if (!access) {
    lines.push_back(Problem(label + ": " + device.device + " does not exist",
                            "plug the cable in, or give the right device"));
  } else {
    const std::string rights = " (group " + access->group + ", mode " + access->mode + ")";
    const std::size_t access_line = lines.size();
    if (access->allowed) {
      lines.push_back(Ok(label + ": you may open " + device.device + rights));
    } else {
      lines.push_back(
          Problem(label + ": you may not open " + device.device + rights, access->hint));
    }
    const std::vector<std::string> holders = ProgramsHolding(device.device, options.diagnosis);
    if (holders.empty()) {
      lines.push_back(Ok(label + ": no other program holds it"));
    } else {
      lines.push_back(
          Problem(label + ": held by " + Joined(holders, ", "), "close it, then check again"));
    }
    // An access list (or a capability) may grant what the mode does not.
    if (CheckOpening(options, label, device.device, lines) && !access->allowed) {
      lines[access_line] =
          Ok(label + ": you may open " + device.device + rights + ", beyond its mode (an ACL)");
    }
  }
  if (modem_manager) lines.push_back(ModemManagerLine(options, label, device.device));

  bool usable = true;
  for (std::size_t i = first; i < lines.size(); ++i) {
    usable = usable && lines[i].verdict != CheckVerdict::problem;
  }
  if (usable && options.probe) {
    CMSComm port;
    port.SetDevicePath(device.device);
    lines.push_back(options.probe(label, port));
  }
}

bool SameDevice(const std::string& a, const std::string& b) {
  std::error_code error;
  return a == b || fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

// The ports to look at: those asked for, else every device present.
std::vector<SerialDevice> PortsToCheck(const SetupCheckContext& options,
                                       std::vector<CheckLine>& lines) {
  const std::vector<SerialDevice> map = CommPortMap(options.diagnosis.paths);
  if (options.ports.empty()) {
    if (map.empty()) {
      // The first hint asks for the cable; the others (adapters without a
      // device, brltty) follow as lines of their own.
      const std::vector<std::string> hints = MissingDeviceHints(options.diagnosis);
      lines.push_back(Problem("serial devices: none found", hints.empty() ? "" : hints.front()));
    }
    return map;
  }
  std::vector<SerialDevice> chosen;
  for (const std::string& port : options.ports) {
    const std::optional<std::string> device = ResolvePortName(port, options.diagnosis.paths);
    if (!device) {
      std::vector<std::string> present;
      for (const SerialDevice& entry : map) present.push_back(entry.name + " = " + entry.device);
      lines.push_back(Problem(
          port + ": no such serial device",
          present.empty() ? "no serial device is present" : "present: " + Joined(present, ", ")));
      continue;
    }
    const auto known = std::find_if(map.begin(), map.end(), [&](const SerialDevice& entry) {
      return SameDevice(entry.device, *device);
    });
    SerialDevice entry;
    if (known != map.end()) {
      entry = *known;
    } else {
      entry.device = *device;
    }
    chosen.push_back(entry);
  }
  return chosen;
}

void CheckSystem(const SetupCheckContext& options, bool modem_manager,
                 std::vector<CheckLine>& lines) {
  for (const std::string& hint : StrandedAdapterHints(options.diagnosis)) {
    lines.push_back(Problem("USB adapter without a serial device", hint));
  }
  if (IsProgramRunning(kBrlttyName, options.diagnosis)) {
    lines.push_back(Warning("brltty is running", BrlttyHint()));
  } else {
    lines.push_back(Ok("brltty is not running"));
  }
  if (!modem_manager) lines.push_back(Ok("ModemManager is not running"));

  for (const std::string& dir : options.udev_rule_dirs) {
    std::error_code error;
    if (fs::exists(fs::path(dir) / kUdevRuleName, error)) {
      lines.push_back(Ok("udev rule " + std::string(kUdevRuleName) + " is installed in " + dir));
      return;
    }
  }
  lines.push_back(Warning(
      "udev rule " + std::string(kUdevRuleName) + " is not installed",
      "install the vexo package, or copy " + std::string(kUdevRuleName) +
          " (share/vexo of the installation, packaging/ of the source tree) to /etc/udev/rules.d "
          "and run 'sudo udevadm control --reload', then plug the cable in again"));
}

}  // namespace

std::vector<CheckLine> RunSetupChecks(const SetupCheckContext& options) {
  std::vector<CheckLine> lines;
  const bool modem_manager = IsProgramRunning(kModemManagerName, options.diagnosis);
  for (const SerialDevice& device : PortsToCheck(options, lines)) {
    CheckPort(options, device, modem_manager, lines);
  }
  CheckSystem(options, modem_manager, lines);
  return lines;
}

void PlaceUnderRoot(SetupCheckContext& context, const std::string& root) {
  if (root.empty()) return;
  for (std::string* path : {&context.diagnosis.paths.dev, &context.diagnosis.paths.sys,
                            &context.diagnosis.proc, &context.udev_data}) {
    *path = root + *path;
  }
  for (std::string& dir : context.udev_rule_dirs) dir = root + dir;
}

bool BlocksJob(const std::vector<CheckLine>& lines) {
  for (const CheckLine& line : lines) {
    if (line.verdict == CheckVerdict::problem) return true;
  }
  return false;
}

std::string FormatCheckLine(const CheckLine& line) {
  static constexpr const char* kVerdictWords[] = {"ok      ", "warning ", "problem "};
  std::string text = kVerdictWords[static_cast<int>(line.verdict)] + line.what;
  if (!line.fix.empty()) text += kFixSeparator + line.fix;
  return text;
}

}  // namespace vexo
