#include "ui/batch_lane_row.h"

#include <QApplication>
#include <QStyle>

#include "app/settings.h"
#include "app/text_ids.h"
#include "ui/batch_text.h"

namespace vexo::ui {
namespace {

constexpr int kIconSize = 16;  // pixels
constexpr int kMessageWidth = 260;

struct ResultLook {
  TextId word;
  QStyle::StandardPixmap icon;
  const char* colour;
};

ResultLook LookOf(BatchLane::State state) {
  switch (state) {
    case BatchLane::State::completed:
      return {text::kBatchCompleted, QStyle::SP_DialogApplyButton, "#1e7b34"};
    case BatchLane::State::stopped:
      return {text::kBatchStopped, QStyle::SP_MessageBoxWarning, "#9a5b00"};
    case BatchLane::State::failed:
      return {text::kBatchFailed, QStyle::SP_MessageBoxCritical, "#b3261e"};
    case BatchLane::State::running:
      return {text::kBatchRunning, QStyle::SP_MediaPlay, "#1f4e9c"};
    case BatchLane::State::idle:
      break;
  }
  return {0, QStyle::SP_CustomBase, ""};
}

void SetIfChanged(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}

}  // namespace

QString BatchPhaseText(const QString& phase) {
  static const std::pair<const char*, TextId> kPhases[] = {
      {"handshake", text::kBatchHandshake},     {"erase", text::kBatchErase},
      {"programming", text::kBatchProgramming}, {"read-back", text::kBatchReadBack},
      {"closing", text::kBatchClosing},
  };
  for (const auto& [name, id] : kPhases) {
    if (phase == QLatin1String(name)) return BatchText(id);
  }
  return phase;
}

void BatchLaneRow::Show(QLabel* label, TextId what, const QString& text) {
  label->setText(text);
  const QString name = BatchText(what) + QLatin1Char(' ') + port_name_;
  label->setAccessibleName(text.isEmpty() ? name : name + QStringLiteral(": ") + text);
}

QString BatchLaneRow::PhaseColumnText() const {
  const QString where = BatchPhaseText(lane.phase());
  switch (lane.state()) {
    case BatchLane::State::idle:
    case BatchLane::State::running:
      return where;
    case BatchLane::State::completed:
      return BatchText(text::kBatchCompleted);
    case BatchLane::State::stopped:
    case BatchLane::State::failed:
      break;
  }
  const QString word = BatchText(LookOf(lane.state()).word);
  return where.isEmpty() ? word : BatchText(text::kBatchEndedDuring, {word, where});
}

QString BatchDurationText(qint64 ms) {
  const qint64 seconds = ms / 1000;
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

BatchLaneRow::BatchLaneRow(BatchLane& lane_, QGridLayout& grid, int row) : lane(lane_) {
  QWidget* parent = grid.parentWidget();
  times_template_ = BatchText(text::kBatchTimes);
  take_part = new QCheckBox(parent);
  port = new QLabel(parent);
  usb = new QLabel(parent);
  bar = new QProgressBar(parent);
  bar->setRange(0, 1);
  bar->setValue(0);
  times = new QLabel(parent);
  phase = new QLabel(parent);
  message = new QLabel(parent);
  message->setWordWrap(true);
  message->setMinimumWidth(kMessageWidth);
  result_icon = new QLabel(parent);
  result = new QLabel(parent);
  result->setTextFormat(Qt::RichText);
  again = new QPushButton(BatchText(text::kBatchAgain), parent);
  stop = new QPushButton(BatchText(text::kBatchStop), parent);
  auto_start = new QCheckBox(BatchText(text::kBatchAutoStart), parent);
  take_part->setChecked(lane.cable().take_part);
  auto_start->setChecked(lane.cable().auto_start);
  int column = 0;
  for (QWidget* w :
       std::initializer_list<QWidget*>{take_part, port, usb, bar, times, phase, message,
                                       result_icon, result, again, stop, auto_start}) {
    grid.addWidget(w, row, column++);
  }
  NameControls();
  Refresh();
}

void BatchLaneRow::NameControls() {
  port_name_ = lane.PortName();
  const QString& name = port_name_;
  const QString key = lane.key();
  auto set = [&](QWidget* w, const QString& what, const char* object) {
    w->setAccessibleName(what + QLatin1Char(' ') + name);
    w->setObjectName(QLatin1String(object) + key);
  };
  set(take_part, BatchText(text::kBatchTakePart), "takePart:");
  set(port, BatchText(text::kPortCaption), "port:");
  set(usb, QStringLiteral("USB"), "usb:");
  set(bar, BatchText(text::kBatchProgressName), "progress:");
  set(times, BatchText(text::kBatchTimeName), "times:");
  set(phase, BatchText(text::kBatchPhaseName), "phase:");
  set(message, BatchText(text::kBatchMessageName), "message:");
  set(result_icon, BatchText(text::kBatchResultName), "resultIcon:");
  set(result, BatchText(text::kBatchResultName), "result:");
  set(again, BatchText(text::kBatchAgain), "again:");
  set(stop, BatchText(text::kBatchStop), "stop:");
  set(auto_start, BatchText(text::kBatchAutoStart), "autoStart:");
}

void BatchLaneRow::Refresh() {
  const SerialDevice& d = lane.device();
  QString port_text = lane.PortName();
  if (!d.name.empty()) port_text = QString::fromStdString(d.name) + QLatin1Char(' ') + port_text;
  if (!lane.present())
    port_text += QStringLiteral(" (%1)").arg(BatchText(text::kBatchNotConnected));
  SetIfChanged(port, port_text);
  port->setToolTip(QString::fromStdString(d.device));
  QString usb_text = QString::fromStdString(d.product);
  if (!d.serial.empty()) usb_text += QStringLiteral(" #") + QString::fromStdString(d.serial);
  SetIfChanged(usb, usb_text);
  const bool renamed = port_name_ != lane.PortName();
  if (renamed) NameControls();

  const int total = lane.total() > 0 ? lane.total() : 1;
  if (bar->maximum() != total) bar->setRange(0, total);
  bar->setValue(lane.total() > 0 ? lane.done() : (lane.state() == BatchLane::State::completed));
  QString time_text;
  if (lane.state() != BatchLane::State::idle) {
    const qint64 left = lane.RemainingMs();
    time_text = BatchDurationText(lane.ElapsedMs());
    if (left >= 0) {
      time_text = QString(times_template_)
                      .replace(QStringLiteral("%1"), time_text)
                      .replace(QStringLiteral("%2"), BatchDurationText(left));
    }
  }
  SetIfChanged(times, time_text);
  // Texts are looked up only when what they name changes: a lookup reads
  // the language file.
  const bool state_changed = !drawn_ || shown_state_ != lane.state();
  if (renamed || state_changed || lane.phase() != shown_phase_) {
    shown_phase_ = lane.phase();
    Show(phase, text::kBatchPhaseName, PhaseColumnText());
  }
  if (renamed || lane.last_text_id() != shown_text_id_ || lane.reason() != shown_reason_) {
    shown_text_id_ = lane.last_text_id();
    shown_reason_ = lane.reason();
    // The window's language, not the child's: the id names the text.
    QString said = shown_reason_;
    if (said.isEmpty() && shown_text_id_ != 0) {
      said = BatchText(shown_text_id_);
      if (said.isEmpty()) said = lane.last_text();
    }
    Show(message, text::kBatchMessageName, said);
  }

  if (renamed || state_changed) {
    const ResultLook look = LookOf(lane.state());
    const QString word = look.word == 0 ? QString() : BatchText(look.word);
    if (look.word == 0) {
      result_icon->clear();
      result->clear();
    } else {
      result_icon->setPixmap(
          QApplication::style()->standardIcon(look.icon).pixmap(kIconSize, kIconSize));
      result->setText(QStringLiteral("<b style=\"color:%1\">%2</b>")
                          .arg(QLatin1String(look.colour), word.toHtmlEscaped()));
    }
    const QString name = BatchText(text::kBatchResultName) + QLatin1Char(' ') + port_name_;
    for (QLabel* label : {result_icon, result}) {
      label->setAccessibleName(word.isEmpty() ? name : name + QStringLiteral(": ") + word);
    }
    shown_state_ = lane.state();
    drawn_ = true;
  }
  again->setEnabled(!lane.running() && lane.present());
  stop->setEnabled(lane.running());
}

}  // namespace vexo::ui
