// PortList: the drop-down list of "COM1" to "COM16". Each entry's tooltip,
// and the hint label given to it, tell which device the name stands for on
// this computer (device path and USB product); a dot before a name marks a
// device behind it. The map is read again each
// time the list opens and whenever a device appears in or leaves /dev, so a
// cable plugged in while the window is open is found without a restart.
// User-interface thread only.
#pragma once

#include <QComboBox>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include "link/port_map.h"

namespace vexo::ui {

class PortList : public QComboBox {
  Q_OBJECT

 public:
  explicit PortList(QWidget* parent = nullptr);

  // The label that shows the device of the selected entry.
  void SetHintLabel(QLabel* hint);
  void RefreshDeviceHints();
  // The first entry with a device behind it; -1 when there is none.
  int FirstPresentIndex() const;
  void showPopup() override;
  // Where devices are looked for (tests use a fake tree); re-reads at once.
  void SetSystemPaths(const SystemPaths& paths);

  // A device node appears a moment before the system has finished setting it
  // up (group, mode, USB details): the hints are read again after this.
  static constexpr int kSettleMs = 300;

 private:
  void ShowSelectedHint();

  QPointer<QLabel> hint_;
  SystemPaths paths_;
  QFileSystemWatcher dev_watcher_;
  QTimer settle_;
};

}  // namespace vexo::ui
