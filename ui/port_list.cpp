#include "ui/port_list.h"

#include <QPainter>
#include <QPixmap>

namespace vexo::ui {
namespace {

constexpr int kMarkSize = 10;  // pixels

// A green dot for a name with a device; an empty mark of the same size keeps
// the other names in line.
QIcon PresenceMark(bool present) {
  QPixmap mark(kMarkSize, kMarkSize);
  mark.fill(Qt::transparent);
  if (present) {
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2e, 0xa0, 0x43));
    painter.drawEllipse(1, 1, kMarkSize - 2, kMarkSize - 2);
  }
  return QIcon(mark);
}

}  // namespace

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
  setIconSize(QSize(kMarkSize, kMarkSize));
  const QIcon absent = PresenceMark(false);
  const QIcon present = PresenceMark(true);
  for (int i = 0; i < count(); ++i) {
    setItemData(i, QString(), Qt::ToolTipRole);
    setItemIcon(i, absent);
  }
  for (const SerialDevice& device : CommPortMap(paths_)) {
    const int index = findText(QString::fromStdString(device.name));
    if (index < 0) continue;
    QString tip = QString::fromStdString(device.device);
    if (!device.product.empty())
      tip += QStringLiteral(" (%1)").arg(QString::fromStdString(device.product));
    setItemData(index, tip, Qt::ToolTipRole);
    setItemIcon(index, present);
  }
  ShowSelectedHint();
}

int PortList::FirstPresentIndex() const {
  for (int i = 0; i < count(); ++i) {
    if (!itemData(i, Qt::ToolTipRole).toString().isEmpty()) return i;
  }
  return -1;
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
