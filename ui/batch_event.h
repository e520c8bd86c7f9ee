// One line of `vexo-flash --json` as the batch window reads it. Parsing only:
// a line that is not a JSON object of a known event, with the fields that
// event needs, is refused with a one-line reason (the lane shows it).
// Any thread; no state.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vexo::ui {

struct BatchEvent {
  enum class Kind { start, phase, progress, message, identity, end };
  Kind kind = Kind::start;
  qint64 t_ms = 0;
  // start
  QString device;
  QString usb_serial;
  // phase (its name), progress (the phase it counts)
  QString phase;
  int done = 0;
  int total = 0;
  // message
  int text_id = 0;
  QString text;
  // end: "failed" when the radio or the line ended the job, "stopped" when
  // a user did (children from before "failed" say "stopped" for both)
  enum class Result { completed, stopped, failed };
  Result result = Result::stopped;
  int exit_status = -1;
};

struct ParsedBatchEvent {
  std::optional<BatchEvent> event;
  QString error;  // why the line is not an event; empty when it is one
};

ParsedBatchEvent ParseBatchEvent(const QByteArray& line);

}  // namespace vexo::ui
