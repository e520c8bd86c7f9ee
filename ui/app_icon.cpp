#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace vexo::ui {

QPixmap DrawAppIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);  // drawn on a 64-unit grid

  // Antenna.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x26, 0x32, 0x38));
  p.drawRoundedRect(QRectF(15, 2, 7, 20), 3, 3);

  // Body.
  QLinearGradient body(0, 14, 0, 62);
  body.setColorAt(0, QColor(0x45, 0x5a, 0x64));
  body.setColorAt(1, QColor(0x26, 0x32, 0x38));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(11, 14, 42, 48), 7, 7);

  // Display with the download arrow.
  p.setBrush(QColor(0x4d, 0xd0, 0xe1));
  p.drawRoundedRect(QRectF(17, 20, 30, 24), 3, 3);
  QPainterPath arrow;
  arrow.moveTo(29, 23);
  arrow.lineTo(35, 23);
  arrow.lineTo(35, 31);
  arrow.lineTo(40, 31);
  arrow.lineTo(32, 40);
  arrow.lineTo(24, 31);
  arrow.lineTo(29, 31);
  arrow.closeSubpath();
  p.setBrush(QColor(0xff, 0x8f, 0x00));
  p.drawPath(arrow);

  // Speaker grille.
  p.setBrush(QColor(0x90, 0xa4, 0xae));
  for (int row = 0; row < 3; ++row) {
    p.drawRoundedRect(QRectF(19, 49 + row * 4, 26, 2), 1, 1);
  }
  return pixmap;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(DrawAppIcon(size));
  return icon;
}

}  // namespace vexo::ui
