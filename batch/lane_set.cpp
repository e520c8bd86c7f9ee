#include "batch/lane_set.h"

#include <algorithm>
#include <filesystem>

#include "app/settings.h"

namespace vexo {
namespace {

constexpr char kSection[] = "batch";
constexpr char kFirmwareKey[] = "firmware";
constexpr char kRateKey[] = "bps";
constexpr char kModeKey[] = "mode";
constexpr char kModelKey[] = "model";
constexpr char kAddedKey[] = "added";  // hand-added devices, separated by kListSeparator
constexpr char kListSeparator = '|';
constexpr char kTakePartKey[] = "take_part";
constexpr char kAutoStartKey[] = "auto_start";

// Lane keys hold ':' and '/', which INI keys take; '=' and brackets they do not.
std::string LaneSettingKey(const std::string& lane_key, const char* what) {
  std::string key = lane_key;
  for (char& c : key) {
    if (c == '=' || c == '[' || c == ']' || c == ';') c = '_';
  }
  return key + "." + what;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

std::string LaneKey(const SerialDevice& device) {
  if (!device.serial.empty()) return "usb:" + device.serial;
  if (!device.devpath.empty()) return "path:" + device.devpath;
  return "dev:" + device.device;
}

bool IsUsbAdapter(const SerialDevice& device) {
  return !device.devpath.empty() || !device.serial.empty();
}

BatchChoices ReadBatchChoices() {
  return {ReadSetting(kSection, kFirmwareKey), ReadSetting(kSection, kRateKey),
          ReadSetting(kSection, kModeKey), ReadSetting(kSection, kModelKey)};
}

void SaveBatchChoices(const BatchChoices& choices) {
  WriteSetting(kSection, kFirmwareKey, choices.firmware);
  WriteSetting(kSection, kRateKey, choices.rate);
  WriteSetting(kSection, kModeKey, choices.mode);
  WriteSetting(kSection, kModelKey, choices.model);
}

LaneSet::LaneSet(SystemPaths paths, PathExists exists)
    : paths_(std::move(paths)), exists_(exists ? std::move(exists) : Exists) {}

Lane* LaneSet::Find(const std::string& key) const {
  for (const auto& lane : lanes_) {
    if (lane->key == key) return lane.get();
  }
  return nullptr;
}

Lane& LaneSet::Add(std::string key, SerialDevice device, bool hand_added) {
  auto lane = std::make_unique<Lane>();
  lane->take_part = ReadSetting(kSection, LaneSettingKey(key, kTakePartKey)) != "0";
  lane->auto_start = ReadSetting(kSection, LaneSettingKey(key, kAutoStartKey)) == "1";
  lane->key = std::move(key);
  lane->device = std::move(device);
  lane->hand_added = hand_added;
  lanes_.push_back(std::move(lane));
  return *lanes_.back();
}

std::vector<Lane*> LaneSet::AddSavedPorts() {
  std::vector<Lane*> added;
  const std::string saved = ReadSetting(kSection, kAddedKey);
  for (std::size_t at = 0; at < saved.size();) {
    const std::size_t end = std::min(saved.find(kListSeparator, at), saved.size());
    if (end > at) {
      if (AddedPort port = AddPort(saved.substr(at, end - at)); port.added) {
        added.push_back(port.lane);
      }
    }
    at = end + 1;
  }
  return added;
}

LaneSet::AddedPort LaneSet::AddPort(const std::string& name) {
  SerialDevice d;
  d.device = name;
  // A COM name of the map stands for its device now; the lane keeps the path.
  if (std::optional<std::string> resolved = ResolvePortName(d.device, paths_)) d.device = *resolved;
  for (const SerialDevice& known : CommPortMap(paths_)) {
    if (known.device == d.device) d = known;
  }
  const std::string key = "dev:" + d.device;
  if (Lane* existing = Find(key)) return {existing, false};
  Lane& lane = Add(key, d, true);
  lane.present = exists_(d.device);
  SaveHandAdded();
  return {&lane, true};
}

void LaneSet::SaveHandAdded() const {
  std::string added;
  for (const auto& lane : lanes_) {
    if (!lane->hand_added) continue;
    if (!added.empty()) added += kListSeparator;
    added += lane->device.device;
  }
  WriteSetting(kSection, kAddedKey, added);
}

LaneSet::Scan LaneSet::Rescan(const std::vector<SerialDevice>& devices) {
  Scan scan;
  for (const auto& lane : lanes_) {
    const bool was_present = lane->present;
    if (lane->hand_added) {
      lane->present = exists_(lane->device.device);
    } else {
      auto found = std::find_if(devices.begin(), devices.end(), [&](const SerialDevice& d) {
        return IsUsbAdapter(d) && LaneKey(d) == lane->key;
      });
      if (found != devices.end()) {
        lane->device = *found;
        lane->present = true;
      } else if (!lane->running()) {
        lane->present = false;
      }
    }
    if (!was_present && lane->present) scan.plugged_in.push_back(lane.get());
  }
  for (const SerialDevice& d : devices) {
    if (IsUsbAdapter(d) && !Find(LaneKey(d))) scan.added.push_back(&Add(LaneKey(d), d, false));
  }
  return scan;
}

void LaneSet::SetTakePart(Lane& lane, bool on) {
  lane.take_part = on;
  SaveLaneSettings(lane);
}

void LaneSet::SetAutoStart(Lane& lane, bool on) {
  lane.auto_start = on;
  SaveLaneSettings(lane);
}

void LaneSet::SaveLaneSettings(const Lane& lane) const {
  WriteSetting(kSection, LaneSettingKey(lane.key, kTakePartKey), lane.take_part ? "1" : "0");
  WriteSetting(kSection, LaneSettingKey(lane.key, kAutoStartKey), lane.auto_start ? "1" : "0");
}

std::vector<Lane*> LaneSet::ToStart() const {
  std::vector<Lane*> chosen;
  for (const auto& lane : lanes_) {
    if (lane->take_part && lane->present && !lane->running()) chosen.push_back(lane.get());
  }
  return chosen;
}

std::vector<Lane*> LaneSet::ToRetry() const {
  std::vector<Lane*> chosen;
  for (const auto& lane : lanes_) {
    const bool failed = lane->state == LaneState::stopped || lane->state == LaneState::failed;
    if (failed && lane->present) chosen.push_back(lane.get());
  }
  return chosen;
}

bool LaneSet::StartsWhenPluggedIn(const Lane& lane) {
  return lane.auto_start && lane.take_part && !lane.running();
}

bool LaneSet::AnyRunning() const {
  return std::any_of(lanes_.begin(), lanes_.end(), [](const auto& l) { return l->running(); });
}

LaneTally LaneSet::Tally() const {
  LaneTally tally;
  for (const auto& lane : lanes_) {
    if (lane->state == LaneState::completed) ++tally.completed;
    if (lane->state == LaneState::stopped) ++tally.stopped;
    if (lane->state == LaneState::failed) ++tally.failed;
  }
  return tally;
}

std::vector<SerialDevice> LaneSet::PortsToAdd() const {
  std::vector<SerialDevice> ports;
  for (const SerialDevice& d : CommPortMap(paths_)) {
    if (IsUsbAdapter(d) && !d.from_settings) continue;  // has its own lane
    ports.push_back(d);
  }
  return ports;
}

}  // namespace vexo
