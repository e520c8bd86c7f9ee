// BatchWindow: several radios at once, one vexo-flash child per programming
// cable, so the engine's process-wide state stays one job per process; the
// window only lays out and controls. Shared choices at the top (firmware,
// rate, E.P or E.P.R, model), one lane per cable below, Start / Again / Stop,
// and a summary line. Which cables there are, their settings and the tally
// are the LaneSet's (batch/lane_set.h). Closing or stopping while a radio is
// written needs the user's word. User-interface thread only.
#pragma once

#include <QComboBox>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "batch/lane_set.h"
#include "ui/batch_lane.h"
#include "ui/batch_lane_row.h"

namespace vexo::ui {

// Opens the batch window as a window of its own (deleted when closed).
void OpenBatchWindow(QWidget* parent);

// A batch window is still shown (its children may still be writing radios).
bool AnyBatchWindowOpen();

class BatchWindow : public QWidget {
  Q_OBJECT

 public:
  explicit BatchWindow(QWidget* parent = nullptr, const SystemPaths& paths = {});
  ~BatchWindow() override;

  // The child program; by default the vexo-flash next to this program.
  void SetChildProgram(const QString& program) { program_ = program; }
  // Where devices are looked for (tests use a fake tree); re-reads at once.
  void SetSystemPaths(const SystemPaths& paths);
  void SetFirmware(const QString& path);
  // A port that is no USB adapter (a [ports] entry, an on-board port, a
  // device path) as a lane of its own; returns the lane.
  BatchLane* AddPortLane(const QString& device);

  void StartTicked();
  void AgainFailed();
  void Again(BatchLane& lane);
  void Stop(BatchLane& lane);
  void Rescan();

  const std::vector<std::unique_ptr<BatchLane>>& lanes() const { return lanes_; }
  BatchLane* LaneByKey(const QString& key) const;
  BatchLaneRow* RowOf(const BatchLane& lane) const;
  QString SummaryText() const { return summary_->text(); }

  static constexpr int kRedrawMs = 100;  // at most ~10 redraws a second

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Asks the user; tests answer it themselves.
  virtual bool Confirm(const QString& question);
  virtual void Tell(const QString& text);

 private:
  BatchLane& AddLane(Lane& cable);
  BatchLane* LaneOf(const Lane& cable) const;
  BatchJobChoice Choice() const;
  bool FirmwareUsable() const;
  void ShowFirmwareFacts();
  void LaneFinished();
  void Redraw();
  void SaveChoices();
  void FillAddList();
  void FitWidthToLanes();
  bool AnyRunning() const;

  LaneSet set_;
  QString program_;
  QLineEdit* firmware_ = nullptr;
  QLabel* firmware_facts_ = nullptr;
  QComboBox* rate_ = nullptr;
  QComboBox* mode_ = nullptr;
  QComboBox* model_ = nullptr;
  QGridLayout* grid_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QLabel* no_lanes_ = nullptr;
  QComboBox* add_list_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* again_failed_ = nullptr;
  QLabel* summary_ = nullptr;
  QFileSystemWatcher dev_watcher_;
  QTimer settle_;
  QTimer redraw_;
  bool close_pending_ = false;
  bool results_shown_ = false;
  std::vector<std::unique_ptr<BatchLane>> lanes_;
  std::vector<std::unique_ptr<BatchLaneRow>> rows_;
};

}  // namespace vexo::ui
