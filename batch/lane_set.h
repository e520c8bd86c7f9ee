// The lanes of the batch window without its widgets: one lane per
// programming cable, keyed so that a cable keeps its lane and its settings
// under another device name (USB serial number, else USB path, else device),
// other ports added by hand; which lanes a start, a retry or a plug-in
// starts; the tally of results; and the [batch] section of system.ini that
// keeps the shared choices, each lane's settings and the hand-added ports.
// One thread (the window's); settings that cannot be written are left as
// they were, as everywhere else system.ini is written.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/port_map.h"

namespace vexo {

enum class LaneState { idle, running, completed, stopped, failed };

// One cable: what it is, whether it is plugged in, what the user chose for
// it, and how its last job stands (the window's job runner keeps that).
struct Lane {
  std::string key;
  SerialDevice device;
  bool hand_added = false;
  bool present = true;
  bool take_part = true;
  bool auto_start = false;
  LaneState state = LaneState::idle;

  bool running() const { return state == LaneState::running; }
};

// The lane key of a device: "usb:SERIAL", else "path:DEVPATH", else "dev:DEVICE".
std::string LaneKey(const SerialDevice& device);

// USB adapters get lanes of their own; other ports only by hand.
bool IsUsbAdapter(const SerialDevice& device);

struct LaneTally {
  int completed = 0;
  int stopped = 0;
  int failed = 0;
};

// The choices every lane shares, as stored; empty when never saved.
struct BatchChoices {
  std::string firmware;
  std::string rate;
  std::string mode;
  std::string model;
};
BatchChoices ReadBatchChoices();
void SaveBatchChoices(const BatchChoices& choices);

class LaneSet {
 public:
  using PathExists = std::function<bool(const std::string& path)>;

  // exists: whether a hand-added port's device is there (tests replace it).
  explicit LaneSet(SystemPaths paths = {}, PathExists exists = {});

  const SystemPaths& paths() const { return paths_; }
  void SetSystemPaths(const SystemPaths& paths) { paths_ = paths; }

  // In the order they were added; a lane stays at its address while the set lives.
  const std::vector<std::unique_ptr<Lane>>& lanes() const { return lanes_; }
  Lane* Find(const std::string& key) const;

  // The ports added by hand in an earlier session, as lanes again.
  std::vector<Lane*> AddSavedPorts();
  // A port that is no USB adapter (a COM name of the map, a device path) as
  // a lane of its own, remembered for the next session. added: false when
  // it had a lane already (returned).
  struct AddedPort {
    Lane* lane;
    bool added;
  };
  AddedPort AddPort(const std::string& name);

  // What the system lists now: lanes come and go, a cable seen under its key
  // takes its new device name, a new USB adapter gets a lane. A running lane
  // stays present until its job ends (its cable may be pulled mid-job).
  struct Scan {
    std::vector<Lane*> added;
    std::vector<Lane*> plugged_in;  // absent before, present now
  };
  Scan Rescan(const std::vector<SerialDevice>& devices);

  // The user's choices for a lane, kept at once.
  void SetTakePart(Lane& lane, bool on);
  void SetAutoStart(Lane& lane, bool on);

  // Start: every present lane taking part and not running.
  std::vector<Lane*> ToStart() const;
  // Again for the failed: present lanes that stopped or failed.
  std::vector<Lane*> ToRetry() const;
  // A lane just plugged in starts by itself when asked to.
  static bool StartsWhenPluggedIn(const Lane& lane);
  bool AnyRunning() const;
  LaneTally Tally() const;

  // Ports of the map that have no lane of their own, to be added by hand.
  std::vector<SerialDevice> PortsToAdd() const;

 private:
  Lane& Add(std::string key, SerialDevice device, bool hand_added);
  void SaveLaneSettings(const Lane& lane) const;
  void SaveHandAdded() const;

  SystemPaths paths_;
  PathExists exists_;
  std::vector<std::unique_ptr<Lane>> lanes_;
};

}  // namespace vexo
