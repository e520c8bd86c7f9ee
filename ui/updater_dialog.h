// CUpdaterDialog: the program's one working window. It restores the user's
// last choices when it opens and stores them when it closes, and each press
// of "E.P" or "E.P.R" runs one DownloadWorker on a thread of its own with the
// dialog as its JobHost. Widgets belong to the user-interface thread: every
// host call the worker makes is carried over to it and waited for. The dialog
// never closes while a job holds it, and joins the worker only once it ended.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <mutex>
#include <optional>
#include <thread>

#include "app/ini_file.h"
#include "download/job_host.h"
#include "link/cmscomm.h"
#include "ui/qt_translations.h"
#include "ui/ui_thread.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace vexo::ui {
class BusyIndicator;
class LogBox;
class PortList;
}  // namespace vexo::ui

enum class BaudSelection { keep, first };

class CUpdaterDialog : public QDialog, public vexo::JobHost {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kBusyIndicatorPeriod{300};

  explicit CUpdaterDialog(QWidget* parent = nullptr);
  ~CUpdaterDialog() override;

  // JobHost: called by the download thread (or directly on this one).
  int DownloadMode() override;
  std::string PortListText() override;
  int GetBaudRate() override;
  std::string FirmwarePathText() override;
  void ShowStatus(const std::string& text) override;
  void HideStatus() override;
  void SetProgressRange(std::int32_t low, std::int32_t high) override;
  void SetProgressPosition(std::int32_t position) override;
  void SetJobControls(vexo::JobControls state) override;
  void StartBusyIndicator() override;
  void StopBusyIndicator() override;
  vexo::SerialControl& SerialPort() override;
  vexo::LogView& Log() override;
  // A box with caption "VEXO", the text and one OK button. From another
  // thread the caller waits until the box is closed while the window stays
  // usable; on this thread the box is modal.
  void ShowMessage(const std::string& text) override;
  void BeginBusyCursor() override;
  void EndBusyCursor() override;
  // Bytes after the last whole record are never sent: said in the log box.
  void ImageLoaded(const vexo::ImageSummary& summary) override;
  // The job's notes go to the job's history row (download thread only).
  void NoteMessageId(vexo::TextId id) override;
  void PhaseStarted(vexo::JobPhase phase) override;
  void PhaseEnded(vexo::JobPhase phase, bool ok, const vexo::ExchangeTally& tally) override;
  void IdentityReceived(const std::string& hex) override;
  void RateInUse(int baud, bool downing_declined) override;
  void ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) override;
  void ClosingConfirmed(bool confirmed) override;

  // The user's actions; user-interface thread.
  void StartDownload(int mode);
  void ExitApplication();
  void SelectFirmwareFile();
  void ListProgramMessages();
  void ToggleLanguage();
  void OnModelChanged();
  void ResetBaudSelector(BaudSelection selection);
  void ApplyLanguage();
  void ShowAbout();
  // The job history (Ctrl+H) and the set-up check, from the context menu.
  void ShowHistory();
  void ShowSetupCheck();

  // From a download button press until its worker has returned.
  bool JobActive() const { return job_active_; }
  // Where the busy indicator is drawn, in client pixels.
  QRect IndicatorRect() const;
  // One step of the busy indicator's timer: draw, then advance the dots.
  void BusyIndicatorTick();
  bool BusyIndicatorRunning() const { return busy_timer_.isActive(); }

  // Refused while a job holds the dialog. Escape (reject) takes the way of
  // the close box.
  void reject() override;
  void done(int result) override;

 signals:
  // Every message box, as it is shown.
  void messageShown(const QString& text);
  // The worker has returned with result and has been joined.
  void jobFinished(int result);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildControls();
  void LoadSettings();
  void SaveSettings();
  // Keeps the first reason a setting was not saved, to be said at the close.
  void NoteSaved(const vexo::IniWriteStatus& status);
  bool JobHoldsDialog() const;
  void OnJobEnded(int result);
  QMessageBox* NewMessageBox(const QString& text);
  QString Text(int id) const;
  // Runs a host operation on the user-interface thread, after the log lines
  // and the progress handed over before it, so the user sees them in order.
  template <typename F>
  auto OnUiThread(F&& call) {
    return vexo::ui::RunOnThreadOf(this, [this, &call] {
      FlushDeferred();
      return call();
    });
  }
  // Shows what the download thread handed over without waiting.
  void FlushDeferred();
  void ApplyProgressPosition(std::int32_t position);
  // The bar's time line in the current language: while a phase runs its
  // elapsed and remaining time, after the job the time its last phase took.
  void ShowProgressTimes();
  // Each job starts with an empty bar, not the previous job's figures.
  void ClearProgressBar();
  // Places a message box over the middle of the window, once it has its size.
  void CentreOnWindow(QWidget* box);

  // Busy indicator state, used on the user-interface thread only.
  int dot_count_ = 0;
  QTimer busy_timer_;
  // Written before the worker starts, only read by it.
  int download_mode_ = vexo::kModeEraseProgram;
  bool job_active_ = false;
  std::thread worker_;
  std::string unsaved_reason_;  // why a setting was not saved; said once
  // The running job's history row; set and used by the download thread.
  vexo::JobObserver* history_ = nullptr;
  vexo::TextId message_id_ = 0;  // of the message about to be shown
  std::string history_trouble_;  // why the last job was not recorded; said after it

  // The running phase's clock for the progress bar's time line.
  QElapsedTimer phase_clock_;
  // How long the last phase ran: set by its outcome's message, or at the
  // end of the job.
  std::optional<std::int64_t> final_phase_ms_;
  // The last job stopped early; the status line says so until the next.
  bool job_stopped_ = false;
  std::int32_t phase_low_ = 0;
  std::int32_t phase_high_ = 0;
  // The latest progress position from the download thread, not yet shown.
  std::mutex progress_mutex_;
  std::optional<std::int32_t> pending_position_;

  QLabel* status_label_ = nullptr;
  QProgressBar* progress_ = nullptr;
  vexo::ui::BusyIndicator* busy_indicator_ = nullptr;
  QLabel* model_caption_ = nullptr;
  QComboBox* model_list_ = nullptr;
  QLabel* port_caption_ = nullptr;
  vexo::ui::PortList* port_list_ = nullptr;
  QLabel* baud_caption_ = nullptr;
  QComboBox* baud_list_ = nullptr;
  QPushButton* open_button_ = nullptr;
  QLineEdit* path_edit_ = nullptr;
  QPushButton* epr_button_ = nullptr;
  QPushButton* ep_button_ = nullptr;
  QPushButton* language_button_ = nullptr;
  QPushButton* exit_button_ = nullptr;
  QPushButton* test_button_ = nullptr;
  vexo::ui::LogBox* log_box_ = nullptr;
  vexo::CMSComm serial_;
  vexo::ui::QtTranslations qt_translations_;
};
