#include "ui/busy_indicator.h"

#include <QPainter>

namespace vexo::ui {

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  // The box has its own place in the layout, so showing it moves nothing.
  QSizePolicy policy = sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  setSizePolicy(policy);
  QFont box_font = font();
  box_font.setStyleHint(QFont::SansSerif);
  box_font.setPointSize(kPointSize);
  setFont(box_font);
}

void BusyIndicator::SetText(const QString& text) {
  text_ = text;
  update();
}

void BusyIndicator::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text_);
}

}  // namespace vexo::ui
