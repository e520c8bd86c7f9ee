// BatchLaneRow: the widgets of one lane in the batch window's grid: take part,
// port and device, USB product and serial, progress with elapsed and
// remaining time, phase, last message (in the window's language), result
// (icon, word and colour), Again, Stop and start-when-plugged-in. Every
// control's accessible name holds the port, and a text's also what it shows
// (a screen reader reads the name, not the text). Once the lane has finished,
// its phase column shows the result and where the job ended. Refresh() only
// sets what changed, so a redraw costs nothing when the lane is quiet.
// User-interface thread.
#pragma once

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/text_ids.h"

#include "ui/batch_lane.h"

namespace vexo::ui {

class BatchLaneRow {
 public:
  // Adds the row's widgets to grid at row; they belong to the grid's widget.
  BatchLaneRow(BatchLane& lane, QGridLayout& grid, int row);

  void Refresh();

  BatchLane& lane;
  QCheckBox* take_part;
  QLabel* port;
  QLabel* usb;
  QProgressBar* bar;
  QLabel* times;
  QLabel* phase;
  QLabel* message;
  QLabel* result_icon;
  QLabel* result;
  QPushButton* again;
  QPushButton* stop;
  QCheckBox* auto_start;

 private:
  void NameControls();
  // Sets the label's text and the accessible name that reads it out.
  void Show(QLabel* label, TextId what, const QString& text);
  QString PhaseColumnText() const;
  QString times_template_;
  QString port_name_;  // as the accessible names hold it
  QString shown_phase_;
  int shown_text_id_ = 0;
  QString shown_reason_;
  BatchLane::State shown_state_ = BatchLane::State::idle;
  bool drawn_ = false;
};

// The phase's name in the window's language.
QString BatchPhaseText(const QString& phase);

// "m:ss".
QString BatchDurationText(qint64 ms);

}  // namespace vexo::ui
