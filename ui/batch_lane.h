// BatchLane: the vexo-flash child that writes the radio behind one cable of
// the batch window. The cable (its key, device, settings and job state) is a
// Lane of the window's LaneSet; the lane keeps here what its child's event
// stream last reported; it reads the stream as it arrives and never waits
// for the child. A child that cannot start, dies,
// or writes a line that is no event leaves the lane failed with the reason.
// User-interface thread only; the lane owns its child (killed if the lane goes).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "batch/lane_set.h"
#include "ui/batch_event.h"

namespace vexo::ui {

// What every lane's child is given.
struct BatchJobChoice {
  QString program;  // vexo-flash
  QString workdir;  // where it finds system.ini and language.sys
  QString firmware;
  int baud = 115200;
  bool verify = false;  // E.P.R rather than E.P
};

class BatchLane : public QObject {
  Q_OBJECT

 public:
  using State = LaneState;

  // cable: outlives the lane (the window's LaneSet holds it).
  explicit BatchLane(Lane& cable, QObject* parent = nullptr);
  ~BatchLane() override;

  const Lane& cable() const { return cable_; }
  QString key() const { return QString::fromStdString(cable_.key); }
  const SerialDevice& device() const { return cable_.device; }
  // A shorter name for texts: "ttyUSB0".
  QString PortName() const;
  bool present() const { return cable_.present; }

  State state() const { return cable_.state; }
  bool running() const { return cable_.running(); }
  // The erase has begun: a stop now leaves the radio without firmware.
  bool writing() const { return running() && past_erase_; }
  const QString& phase() const { return phase_; }
  int done() const { return done_; }
  int total() const { return total_; }
  int last_text_id() const { return last_text_id_; }
  const QString& last_text() const { return last_text_; }
  // Why the lane failed (child died, bad event, cannot start).
  const QString& reason() const { return reason_; }
  qint64 ElapsedMs() const;
  // Estimated time left of the current phase; -1 when unknown.
  qint64 RemainingMs() const;

  void Start(const BatchJobChoice& choice);
  // Clears the last result (the next Start clears every lane's).
  void Clear();
  // Before the erase one SIGTERM stops the child; from the erase on a second
  // follows once the child has warned, whenever the warning comes, or after
  // a short wait when the lane already knew of the erase (the caller has
  // asked the user).
  void RequestStop();

  // Set when what the lane shows has changed; the window redraws and clears it.
  bool dirty = true;

 signals:
  void Finished(BatchLane* lane);

 private:
  void ReadEvents();
  void Apply(const BatchEvent& e);
  void Fail(const QString& reason);
  void ChildEnded(int exit_code, QProcess::ExitStatus status);
  void SendStop();

  Lane& cable_;
  QProcess* child_ = nullptr;
  QByteArray pending_;
  QTimer second_stop_;

  bool past_erase_ = false;
  bool got_end_ = false;
  BatchEvent::Result end_result_ = BatchEvent::Result::stopped;
  int stops_sent_ = 0;
  bool stop_wanted_ = false;
  QString phase_;
  int done_ = 0;
  int total_ = 0;
  int last_text_id_ = 0;
  QString last_text_;
  QString reason_;
  QElapsedTimer elapsed_;
  QElapsedTimer phase_elapsed_;
  qint64 took_ms_ = 0;
};

}  // namespace vexo::ui
