#include "ui/batch_lane.h"

#include "app/settings.h"
#include "app/text_ids.h"
#include "ui/batch_text.h"

namespace vexo::ui {
namespace {

// A child that says nothing sensible in this many bytes is not writing events.
constexpr qsizetype kLongestEventLine = 64 * 1024;
// How long the second stop request waits for the child's warning that the
// radio will be left without firmware; it goes at the latest then (the child
// counts a second request within 5 s).
constexpr int kSecondStopMs = 1000;
constexpr int kShownBadLineChars = 80;

}  // namespace

BatchLane::BatchLane(Lane& cable, QObject* parent) : QObject(parent), cable_(cable) {
  second_stop_.setSingleShot(true);
  second_stop_.setInterval(kSecondStopMs);
  connect(&second_stop_, &QTimer::timeout, this, &BatchLane::SendStop);
}

BatchLane::~BatchLane() {
  if (child_ && child_->state() != QProcess::NotRunning) {
    child_->disconnect(this);
    child_->kill();
    child_->waitForFinished(5000);
  }
}

QString BatchLane::PortName() const {
  // "ttyUSB0", "pts/3": the device below /dev, else the whole path.
  const QString device = QString::fromStdString(cable_.device.device);
  const QString dev = QStringLiteral("/dev/");
  const qsizetype at = device.lastIndexOf(dev);
  return at < 0 ? device : device.mid(at + dev.size());
}

qint64 BatchLane::ElapsedMs() const {
  if (running()) return elapsed_.elapsed();
  return took_ms_;
}

qint64 BatchLane::RemainingMs() const {
  if (!running() || done_ <= 0 || total_ <= 0 || !phase_elapsed_.isValid()) return -1;
  return phase_elapsed_.elapsed() * (total_ - done_) / done_;
}

void BatchLane::Clear() {
  if (running()) return;
  cable_.state = State::idle;
  phase_.clear();
  done_ = total_ = last_text_id_ = 0;
  last_text_.clear();
  reason_.clear();
  took_ms_ = 0;
  dirty = true;
}

void BatchLane::Start(const BatchJobChoice& choice) {
  if (running()) return;
  Clear();
  past_erase_ = got_end_ = stop_wanted_ = false;
  stops_sent_ = 0;
  pending_.clear();
  if (child_) {
    child_->disconnect(this);
    child_->deleteLater();  // Start may run while its last signal is still on the stack
  }
  child_ = new QProcess(this);
  child_->setWorkingDirectory(choice.workdir);
  // Its lines on standard error repeat its message events; a pipe nobody
  // reads would stop the child once full.
  child_->setStandardErrorFile(QProcess::nullDevice());
  connect(child_, &QProcess::readyReadStandardOutput, this, &BatchLane::ReadEvents);
  connect(child_, &QProcess::finished, this, &BatchLane::ChildEnded);
  connect(child_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    cable_.state = State::failed;
    reason_ = BatchText(text::kBatchCannotStart, {child_->errorString()});
    dirty = true;
    emit Finished(this);
  });
  QStringList args = {QStringLiteral("--json"), QStringLiteral("--port"),
                      QString::fromStdString(cable_.device.device), QStringLiteral("--baud"),
                      QString::number(choice.baud)};
  if (choice.verify) args << QStringLiteral("--verify");
  args << choice.firmware;
  cable_.state = State::running;
  elapsed_.start();
  phase_elapsed_.invalidate();
  dirty = true;
  child_->start(choice.program, args, QIODevice::ReadOnly);
}

void BatchLane::RequestStop() {
  if (!running() || !child_) return;
  stop_wanted_ = true;
  const bool needs_two = past_erase_;
  SendStop();
  if (needs_two) second_stop_.start();
}

void BatchLane::SendStop() {
  if (!child_ || child_->state() == QProcess::NotRunning) return;
  ++stops_sent_;
  child_->terminate();
}

void BatchLane::ReadEvents() {
  pending_ += child_->readAllStandardOutput();
  qsizetype end = 0;
  while ((end = pending_.indexOf('\n')) >= 0) {
    const QByteArray line = pending_.left(end);
    pending_.remove(0, end + 1);
    if (!reason_.isEmpty()) continue;  // the stream is not trusted any more
    const ParsedBatchEvent parsed = ParseBatchEvent(line);
    if (parsed.event) {
      Apply(*parsed.event);
    } else {
      Fail(BatchText(text::kBatchBadEvent, {parsed.error + QStringLiteral(": ") +
                                            QString::fromUtf8(line.left(kShownBadLineChars))}));
    }
  }
  if (pending_.size() > kLongestEventLine) {
    Fail(BatchText(text::kBatchBadEvent, {QStringLiteral("line too long")}));
    pending_.clear();
  }
}

void BatchLane::Apply(const BatchEvent& e) {
  dirty = true;
  switch (e.kind) {
    case BatchEvent::Kind::start:
      break;
    case BatchEvent::Kind::phase:
      phase_ = e.phase;
      done_ = total_ = 0;
      phase_elapsed_.start();
      if (phase_ != QLatin1String("handshake")) past_erase_ = true;
      break;
    case BatchEvent::Kind::progress:
      done_ = e.done;
      total_ = e.total;
      break;
    case BatchEvent::Kind::message:
      last_text_id_ = e.text_id;
      last_text_ = e.text;
      // The child's warning that a second request stops it: send it now. A
      // stop that reached the child just as its erase began comes without a
      // wait running.
      if (e.text_id == text::kStopWarning && stop_wanted_ && stops_sent_ == 1) {
        second_stop_.stop();
        SendStop();
      }
      break;
    case BatchEvent::Kind::identity:
      break;
    case BatchEvent::Kind::end:
      got_end_ = true;
      end_result_ = e.result;
      break;
  }
}

void BatchLane::Fail(const QString& reason) {
  reason_ = reason;
  dirty = true;
}

void BatchLane::ChildEnded(int exit_code, QProcess::ExitStatus status) {
  ReadEvents();
  second_stop_.stop();
  took_ms_ = elapsed_.elapsed();
  if (!reason_.isEmpty()) {
    cable_.state = State::failed;
  } else if (got_end_) {
    switch (end_result_) {
      case BatchEvent::Result::completed:
        cable_.state = State::completed;
        break;
      case BatchEvent::Result::stopped:
        cable_.state = State::stopped;
        break;
      case BatchEvent::Result::failed:
        cable_.state = State::failed;
        break;
    }
  } else {
    const QString how = status == QProcess::CrashExit
                            ? BatchText(text::kBatchSignal, {QString::number(exit_code)})
                            : BatchText(text::kBatchExitStatus, {QString::number(exit_code)});
    reason_ = BatchText(text::kBatchChildDied, {how});
    // Stopped by the user before its job had begun: that is a stop.
    cable_.state = stop_wanted_ ? State::stopped : State::failed;
  }
  dirty = true;
  emit Finished(this);
}

}  // namespace vexo::ui
