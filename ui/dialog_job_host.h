// The window's download jobs: DialogJobHost starts each press's DownloadWorker
// on a thread of its own and is that job's JobHost, showing what the job says
// in the widgets the dialog lends it. It lives on the user-interface thread:
// every host call the worker makes is carried over to it and waited for,
// except log lines and progress steps, which are handed over without waiting
// and shown before the next call. Its observers (the running job's history
// row, a test's probe) hear the job's notes on the job's thread. The dialog
// owns it, and destroys it only once the job has ended.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "download/job_host.h"
#include "download/job_observers.h"
#include "link/cmscomm.h"
#include "ui/ui_thread.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QWidget;

namespace vexo::ui {

class BusyIndicator;
class LogBox;
class PortList;

// The dialog's widgets a job reads and shows on; all owned by the dialog.
struct JobWidgets {
  QWidget* window = nullptr;  // message boxes are placed over it and take its icon
  QLabel* status = nullptr;
  QProgressBar* progress = nullptr;
  BusyIndicator* busy_indicator = nullptr;
  QComboBox* model_list = nullptr;
  PortList* port_list = nullptr;
  QComboBox* baud_list = nullptr;
  QLineEdit* path_edit = nullptr;
  std::array<QPushButton*, 3> job_buttons{};  // E.P.R, E.P and Exit: disabled while busy
  LogBox* log_box = nullptr;
};

class DialogJobHost : public QObject, public JobHost {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kBusyIndicatorPeriod{300};

  explicit DialogJobHost(const JobWidgets& widgets);
  // Joins a worker that has ended but not yet been joined.
  ~DialogJobHost() override;

  // Starts a job in mode unless one is running; user-interface thread.
  void StartDownload(int mode);
  // From a download button press until its worker has returned.
  bool JobActive() const { return job_active_; }
  // The last job stopped early; the status line says so until the next.
  bool JobStopped() const { return job_stopped_; }
  // Hears the notes of every job from now on; added and removed on the
  // user-interface thread while no job runs.
  void AddObserver(JobObserver& observer) { observers_.Add(observer); }
  void RemoveObserver(JobObserver& observer) { observers_.Remove(observer); }

  // The bar's time line in the current language: while a phase runs its
  // elapsed and remaining time, after the job the time its last phase took.
  void ShowProgressTimes();
  // One step of the busy indicator's timer: draw, then advance the dots.
  void BusyIndicatorTick();
  bool BusyIndicatorRunning() const { return busy_timer_.isActive(); }

  // JobHost: called by the download thread (or directly on this one).
  int DownloadMode() override { return download_mode_; }
  std::string PortListText() override;
  int GetBaudRate() override;
  std::string FirmwarePathText() override;
  void ShowStatus(const std::string& text) override;
  void HideStatus() override;
  void SetProgressRange(std::int32_t low, std::int32_t high) override;
  void SetProgressPosition(std::int32_t position) override;
  void SetJobControls(JobControls state) override;
  void StartBusyIndicator() override;
  void StopBusyIndicator() override;
  SerialControl& SerialPort() override { return serial_; }
  LogView& Log() override;
  // A box with caption "VEXO", the text and one OK button. From another
  // thread the caller waits until the box is closed while the window stays
  // usable; on this thread the box is modal.
  void ShowMessage(const std::string& text) override;
  void BeginBusyCursor() override;
  void EndBusyCursor() override;
  void NoteMessageId(TextId id) override { message_id_ = id; }
  // The job's notes go to the observers (download thread only); bytes after
  // the last whole record are never sent, which the log box says as well.
  void ImageLoaded(const ImageSummary& summary) override;
  void PhaseStarted(JobPhase phase) override { observers_.PhaseStarted(phase); }
  void PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) override {
    observers_.PhaseEnded(phase, ok, tally);
  }
  void IdentityReceived(const std::string& hex) override { observers_.IdentityReceived(hex); }
  void RateInUse(int baud, bool downing_declined) override {
    observers_.RateInUse(baud, downing_declined);
  }
  void ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) override {
    observers_.ReadBackChecked(pages_compared, first_difference);
  }
  void ClosingConfirmed(bool confirmed) override { observers_.ClosingConfirmed(confirmed); }

 signals:
  // Every message box, as it is shown.
  void messageShown(const QString& text);
  // The worker has returned with result and has been joined.
  void jobFinished(int result);

 private:
  void OnJobEnded(int result, const std::string& history_trouble);
  QMessageBox* NewMessageBox(const QString& text);
  // Places a message box over the middle of the window, once it has its size.
  void CentreOnWindow(QWidget* box);
  // Runs a host operation on the user-interface thread, after the log lines
  // and the progress handed over before it, so the user sees them in order.
  template <typename F>
  auto OnUiThread(F&& call) {
    return RunOnThreadOf(this, [this, &call] {
      FlushDeferred();
      return call();
    });
  }
  // Shows what the download thread handed over without waiting.
  void FlushDeferred();
  void ApplyProgressPosition(std::int32_t position);
  // Each job starts with an empty bar, not the previous job's figures.
  void ClearProgressBar();

  JobWidgets widgets_;
  CMSComm serial_;
  JobObservers observers_;
  // Busy indicator state, used on the user-interface thread only.
  int dot_count_ = 0;
  QTimer busy_timer_;
  // Written before the worker starts, only read by it.
  int download_mode_ = kModeEraseProgram;
  bool job_active_ = false;
  std::thread worker_;
  TextId message_id_ = 0;  // of the message about to be shown

  // The running phase's clock for the progress bar's time line.
  QElapsedTimer phase_clock_;
  // How long the last phase ran: set by its outcome's message, or at the
  // end of the job.
  std::optional<std::int64_t> final_phase_ms_;
  bool job_stopped_ = false;
  std::int32_t phase_low_ = 0;
  std::int32_t phase_high_ = 0;
  // The latest progress position from the download thread, not yet shown.
  std::mutex progress_mutex_;
  std::optional<std::int32_t> pending_position_;
};

}  // namespace vexo::ui
