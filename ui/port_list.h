// PortList: the drop-down list of "COM1" to "COM16". Each entry's tooltip,
// and the hint label given to it, tell which device the name stands for on
// this computer (device path and USB product). The map is read again each
// time the list opens, as adapters come and go. User-interface thread only.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPointer>

namespace vexo::ui {

class PortList : public QComboBox {
  Q_OBJECT

 public:
  explicit PortList(QWidget* parent = nullptr);

  // The label that shows the device of the selected entry.
  void SetHintLabel(QLabel* hint);
  void RefreshDeviceHints();
  void showPopup() override;

 private:
  void ShowSelectedHint();

  QPointer<QLabel> hint_;
};

}  // namespace vexo::ui
