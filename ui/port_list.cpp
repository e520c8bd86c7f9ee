#include "ui/port_list.h"

namespace vexo::ui {

PortList::PortList(QWidget* parent) : QComboBox(parent) {
  for (int n = 1; n <= kCommPortCount; ++n) addItem(QStringLiteral("COM%1").arg(n));
  connect(this, &QComboBox::currentIndexChanged, this, &PortList::ShowSelectedHint);
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &PortList::RefreshDeviceHints);
  connect(&dev_watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { settle_.start(); });
  dev_watcher_.addPath(QString::fromStdString(paths_.dev));
}

void PortList::SetSystemPaths(const SystemPaths& paths) {
  if (!dev_watcher_.directories().isEmpty()) dev_watcher_.removePaths(dev_watcher_.directories());
  paths_ = paths;
  dev_watcher_.addPath(QString::fromStdString(paths_.dev));
  RefreshDeviceHints();
}

void PortList::SetHintLabel(QLabel* hint) {
  hint_ = hint;
  ShowSelectedHint();
}

void PortList::RefreshDeviceHints() {
  for (int i = 0; i < count(); ++i) setItemData(i, QString(), Qt::ToolTipRole);
  for (const SerialDevice& device : CommPortMap(paths_)) {
    const int index = findText(QString::fromStdString(device.name));
    if (index < 0) continue;
    QString tip = QString::fromStdString(device.device);
    if (!device.product.empty())
      tip += QStringLiteral(" (%1)").arg(QString::fromStdString(device.product));
    setItemData(index, tip, Qt::ToolTipRole);
  }
  ShowSelectedHint();
}

void PortList::showPopup() {
  RefreshDeviceHints();
  QComboBox::showPopup();
}

void PortList::ShowSelectedHint() {
  const int index = currentIndex();
  const QString device = index < 0 ? QString() : itemData(index, Qt::ToolTipRole).toString();
  setToolTip(device);
  if (!hint_) return;
  if (index < 0) {
    hint_->clear();
  } else {
    // A dash says plainly that nothing is behind this name right now.
    hint_->setText(QStringLiteral("%1 → %2").arg(itemText(index),
                                                 device.isEmpty() ? QStringLiteral("—") : device));
  }
}

}  // namespace vexo::ui
