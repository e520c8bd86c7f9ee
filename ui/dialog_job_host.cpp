// The dialog's side of a download job: starting and joining the worker, and
// every host operation the worker calls, each carried over to the
// user-interface thread with OnUiThread (or handed over without waiting).
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTimer>

#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_ids.h"
#include "download/download_worker.h"
#include "history/history_store.h"
#include "history/history_texts.h"
#include "history/job_facts.h"
#include "history/job_history_watcher.h"
#include "history/job_recorder.h"
#include "ui/busy_indicator.h"
#include "ui/log_box.h"
#include "ui/port_list.h"
#include "ui/ui_thread.h"
#include "ui/updater_dialog.h"
#include "ui/window_texts.h"

using vexo::ui::OnThreadOf;

void CUpdaterDialog::StartDownload(int mode) {
  // A press before the job has disabled its buttons (it is still checking
  // and loading the file) must not start a second job.
  if (job_active_) return;
  progress_->setFocus();
  ClearProgressBar();
  download_mode_ = mode;
  job_active_ = true;
  const std::string port = port_list_->currentText().toStdString();
  const int baud = vexo::DecimalValue(baud_list_->currentText().toStdString());
  const std::string path = path_edit_->text().toStdString();
  const std::string model = model_list_->currentText().toStdString();
  worker_ = std::thread([this, port, baud, mode, path, model] {
    // The job's row is written as it goes, so a window that dies mid-job
    // leaves it reading "interrupted".
    vexo::JobRecorder recorder(vexo::DefaultHistoryPath());
    vexo::JobHistoryWatcher watcher(recorder);
    // Loaded once: the row describes the very bytes the job sends.
    const vexo::LoadedImage image = vexo::LoadJobImage(*this);
    recorder.Start(vexo::RecordOf(vexo::GatherJobFacts(port, baud, mode, path, image),
                                  vexo::JobProgram::kWindow, model));
    history_ = &watcher;
    const int result = vexo::DownloadWorker(*this, image);
    history_ = nullptr;
    // The window has no stop: a job that ended early failed.
    recorder.Finish(result == 0 ? vexo::JobResult::kCompleted : vexo::JobResult::kFailed, result);
    std::string trouble = recorder.TakeNotice().value_or(std::string());
    if (std::optional<std::string> failure = recorder.TakeFailure()) {
      trouble += (trouble.empty() ? "" : "\n") + vexo::NotRecordedText(*failure);
    }
    QMetaObject::invokeMethod(
        this,
        [this, result, trouble] {
          history_trouble_ = trouble;
          OnJobEnded(result);
        },
        Qt::QueuedConnection);
  });
}

void CUpdaterDialog::OnJobEnded(int result) {
  // The worker has made its last host call; it is at most leaving its
  // function, so the join cannot wait on this thread.
  worker_.join();
  job_active_ = false;
  FlushDeferred();
  // No time is left once the job has ended, whichever way it ended.
  if (phase_clock_.isValid()) {
    if (!final_phase_ms_) final_phase_ms_ = phase_clock_.elapsed();
    phase_clock_.invalidate();
    ShowProgressTimes();
  }
  if (result != 0) {
    job_stopped_ = true;
    status_label_->setText(Text(vexo::text::kStatusJobStopped));
    status_label_->show();
  }
  // Said once, after the job: the job itself never waits for the history.
  if (!history_trouble_.empty()) {
    QMessageBox* box = NewMessageBox(QString::fromStdString(history_trouble_));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    emit messageShown(box->text());
    history_trouble_.clear();
  }
  emit jobFinished(result);
}

void CUpdaterDialog::ClearProgressBar() {
  {
    std::lock_guard lock(progress_mutex_);
    pending_position_.reset();
  }
  phase_clock_.invalidate();
  final_phase_ms_.reset();
  job_stopped_ = false;
  progress_->setFormat(QStringLiteral("%p%"));
  progress_->reset();  // below the range: the bar draws no text
}

void CUpdaterDialog::ShowProgressTimes() {
  const int language = vexo::AppState().LanguageBase;
  QString format;
  if (phase_clock_.isValid()) {
    const std::int64_t elapsed = phase_clock_.elapsed();
    format = vexo::ui::PhaseProgressFormat(
        language, elapsed,
        vexo::ui::EstimateRemainingMs(elapsed, phase_low_, phase_high_, progress_->value()));
  } else if (final_phase_ms_) {
    format = vexo::ui::PhaseProgressFormat(language, *final_phase_ms_, -1);
  } else {
    return;
  }
  if (format != progress_->format()) progress_->setFormat(format);
}

int CUpdaterDialog::DownloadMode() {
  return download_mode_;
}

std::string CUpdaterDialog::PortListText() {
  return OnUiThread([this] { return port_list_->currentText().toStdString(); });
}

int CUpdaterDialog::GetBaudRate() {
  return OnUiThread([this] { return vexo::DecimalValue(baud_list_->currentText().toStdString()); });
}

std::string CUpdaterDialog::FirmwarePathText() {
  return OnUiThread([this] { return path_edit_->text().toStdString(); });
}

void CUpdaterDialog::ShowStatus(const std::string& text) {
  OnUiThread([this, &text] {
    status_label_->setText(QString::fromStdString(text));
    status_label_->show();
  });
}

void CUpdaterDialog::HideStatus() {
  OnUiThread([this] { status_label_->hide(); });
}

void CUpdaterDialog::SetProgressRange(std::int32_t low, std::int32_t high) {
  OnUiThread([this, low, high] {
    progress_->setRange(low, high);
    phase_low_ = low;
    phase_high_ = high;
    phase_clock_.start();
    final_phase_ms_.reset();
    progress_->setFormat(vexo::ui::PhaseProgressFormat(vexo::AppState().LanguageBase, 0, -1));
  });
}

void CUpdaterDialog::SetProgressPosition(std::int32_t position) {
  // One step a record: handed over without waiting, shown with the next
  // turn of the event loop.
  if (!OnThreadOf(this)) {
    std::lock_guard lock(progress_mutex_);
    const bool posted = pending_position_.has_value();
    pending_position_ = position;
    if (!posted)
      QMetaObject::invokeMethod(
          this, [this] { FlushDeferred(); }, Qt::QueuedConnection);
    return;
  }
  FlushDeferred();
  ApplyProgressPosition(position);
}

void CUpdaterDialog::FlushDeferred() {
  log_box_->FlushPending();
  std::optional<std::int32_t> position;
  {
    std::lock_guard lock(progress_mutex_);
    position.swap(pending_position_);
  }
  if (position) ApplyProgressPosition(*position);
}

void CUpdaterDialog::ApplyProgressPosition(std::int32_t position) {
  progress_->setValue(position);
  if (phase_clock_.isValid()) ShowProgressTimes();
}

void CUpdaterDialog::SetJobControls(vexo::JobControls state) {
  const bool idle = state == vexo::JobControls::idle;
  OnUiThread([this, idle] {
    for (QPushButton* button : {epr_button_, ep_button_, exit_button_}) button->setEnabled(idle);
  });
  // The port is the job's until now; it is closed on the job's own thread.
  if (idle) vexo::ClosePortQuietly(serial_);
}

void CUpdaterDialog::StartBusyIndicator() {
  OnUiThread([this] { busy_timer_.start(kBusyIndicatorPeriod); });
}

void CUpdaterDialog::StopBusyIndicator() {
  OnUiThread([this] {
    busy_indicator_->hide();
    busy_timer_.stop();
    update();
  });
}

void CUpdaterDialog::BusyIndicatorTick() {
  busy_indicator_->SetText(Text(vexo::text::kBusyIndicator) + QString(dot_count_, QChar('.')));
  busy_indicator_->show();
  // 0 only on the very first tick; the cycle 1, 2, 3 then runs on across jobs.
  dot_count_ = dot_count_ % 3 + 1;
}

QRect CUpdaterDialog::IndicatorRect() const {
  return busy_indicator_->geometry();
}

vexo::SerialControl& CUpdaterDialog::SerialPort() {
  return serial_;
}

vexo::LogView& CUpdaterDialog::Log() {
  return *log_box_;
}

QMessageBox* CUpdaterDialog::NewMessageBox(const QString& text) {
  // Owner-less, like every message of the program; placed over the window.
  auto* box =
      new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(vexo::AppState().ProductNameText),
                      text, QMessageBox::Ok);
  box->setObjectName(QStringLiteral("messageBox"));
  box->setWindowIcon(windowIcon());
  return box;
}

void CUpdaterDialog::CentreOnWindow(QWidget* box) {
  // A message box takes its final size only as it is shown; placed before,
  // it would be placed by a size it does not have.
  const QRect frame = box->frameGeometry();
  box->move(frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void CUpdaterDialog::ShowMessage(const std::string& text) {
  const vexo::TextId id = std::exchange(message_id_, 0);
  if (history_ && !OnThreadOf(this)) history_->MessageShown(id, text);
  const QString message = QString::fromStdString(text);
  if (OnThreadOf(this)) {
    std::unique_ptr<QMessageBox> box(NewMessageBox(message));
    emit messageShown(message);
    QTimer::singleShot(0, box.get(), [this, shown = box.get()] { CentreOnWindow(shown); });
    box->exec();
    return;
  }
  // The box is not modal: the worker waits for it, the window does not.
  QSemaphore closed;
  QMetaObject::invokeMethod(
      this,
      [this, &message, &closed] {
        FlushDeferred();
        // The phase's time ends with its outcome, not when the user reads it.
        if (phase_clock_.isValid() && !final_phase_ms_) final_phase_ms_ = phase_clock_.elapsed();
        QMessageBox* box = NewMessageBox(message);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QObject::destroyed, [&closed] { closed.release(); });
        box->show();
        CentreOnWindow(box);
        box->activateWindow();
        emit messageShown(message);
      },
      Qt::QueuedConnection);
  closed.acquire();
}

void CUpdaterDialog::NoteMessageId(vexo::TextId id) {
  message_id_ = id;
}

void CUpdaterDialog::PhaseStarted(vexo::JobPhase phase) {
  if (history_) history_->PhaseStarted(phase);
}

void CUpdaterDialog::PhaseEnded(vexo::JobPhase phase, bool ok, const vexo::ExchangeTally& tally) {
  if (history_) history_->PhaseEnded(phase, ok, tally);
}

void CUpdaterDialog::IdentityReceived(const std::string& hex) {
  if (history_) history_->IdentityReceived(hex);
}

void CUpdaterDialog::RateInUse(int baud, bool downing_declined) {
  if (history_) history_->RateInUse(baud, downing_declined);
}

void CUpdaterDialog::ReadBackChecked(int pages_compared,
                                     std::optional<std::uint32_t> first_difference) {
  if (history_) history_->ReadBackChecked(pages_compared, first_difference);
}

void CUpdaterDialog::ClosingConfirmed(bool confirmed) {
  if (history_) history_->ClosingConfirmed(confirmed);
}

void CUpdaterDialog::ImageLoaded(const vexo::ImageSummary& summary) {
  if (summary.trailing_bytes <= 0 || !vexo::AppState().DiagnosticLog) return;
  log_box_->AppendLine("# " + vexo::LookupText(vexo::text::kTrailingBytes) + " " +
                       std::to_string(summary.trailing_bytes) + "\r\n");
}

void CUpdaterDialog::BeginBusyCursor() {
  OnUiThread([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

void CUpdaterDialog::EndBusyCursor() {
  OnUiThread([] { QApplication::restoreOverrideCursor(); });
}
