#include "ui/dialog_job_host.h"

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
#include "ui/window_texts.h"

namespace vexo::ui {
namespace {

QString Text(TextId id) {
  return QString::fromStdString(LookupText(id));
}

}  // namespace

DialogJobHost::DialogJobHost(const JobWidgets& widgets) : widgets_(widgets) {
  connect(&busy_timer_, &QTimer::timeout, this, &DialogJobHost::BusyIndicatorTick);
}

DialogJobHost::~DialogJobHost() {
  // Only reached once the job has ended (the dialog refuses to close until
  // then); the worker may still be leaving its function.
  if (worker_.joinable()) worker_.join();
}

void DialogJobHost::StartDownload(int mode) {
  // A press before the job has disabled its buttons (it is still checking
  // and loading the file) must not start a second job.
  if (job_active_) return;
  widgets_.progress->setFocus();
  ClearProgressBar();
  download_mode_ = mode;
  job_active_ = true;
  const std::string port = widgets_.port_list->currentText().toStdString();
  const int baud = DecimalValue(widgets_.baud_list->currentText().toStdString());
  const std::string path = widgets_.path_edit->text().toStdString();
  const std::string model = widgets_.model_list->currentText().toStdString();
  worker_ = std::thread([this, port, baud, mode, path, model] {
    // The job's row is written as it goes, so a window that dies mid-job
    // leaves it reading "interrupted".
    JobRecorder recorder(DefaultHistoryPath());
    JobHistoryWatcher history(recorder);
    // Loaded once: the row describes the very bytes the job sends.
    const LoadedImage image = LoadJobImage(*this);
    recorder.Start(
        RecordOf(GatherJobFacts(port, baud, mode, path, image), JobProgram::kWindow, model));
    observers_.Add(history);
    const int result = DownloadWorker(*this, image);
    observers_.Remove(history);
    // The window has no stop: a job that ended early failed.
    recorder.Finish(result == 0 ? JobResult::kCompleted : JobResult::kFailed, result);
    std::string trouble = recorder.TakeNotice().value_or(std::string());
    if (std::optional<std::string> failure = recorder.TakeFailure()) {
      trouble += (trouble.empty() ? "" : "\n") + NotRecordedText(*failure);
    }
    QMetaObject::invokeMethod(
        this, [this, result, trouble] { OnJobEnded(result, trouble); }, Qt::QueuedConnection);
  });
}

void DialogJobHost::OnJobEnded(int result, const std::string& history_trouble) {
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
    widgets_.status->setText(Text(text::kStatusJobStopped));
    widgets_.status->show();
  }
  // Said once, after the job: the job itself never waits for the history.
  if (!history_trouble.empty()) {
    QMessageBox* box = NewMessageBox(QString::fromStdString(history_trouble));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    emit messageShown(box->text());
  }
  emit jobFinished(result);
}

void DialogJobHost::ClearProgressBar() {
  {
    std::lock_guard lock(progress_mutex_);
    pending_position_.reset();
  }
  phase_clock_.invalidate();
  final_phase_ms_.reset();
  job_stopped_ = false;
  widgets_.progress->setFormat(QStringLiteral("%p%"));
  widgets_.progress->reset();  // below the range: the bar draws no text
}

void DialogJobHost::ShowProgressTimes() {
  const int language = AppState().LanguageBase;
  QString format;
  if (phase_clock_.isValid()) {
    const std::int64_t elapsed = phase_clock_.elapsed();
    format = PhaseProgressFormat(
        language, elapsed,
        EstimateRemainingMs(elapsed, phase_low_, phase_high_, widgets_.progress->value()));
  } else if (final_phase_ms_) {
    format = PhaseProgressFormat(language, *final_phase_ms_, -1);
  } else {
    return;
  }
  if (format != widgets_.progress->format()) widgets_.progress->setFormat(format);
}

std::string DialogJobHost::PortListText() {
  return OnUiThread([this] { return widgets_.port_list->currentText().toStdString(); });
}

int DialogJobHost::GetBaudRate() {
  return OnUiThread(
      [this] { return DecimalValue(widgets_.baud_list->currentText().toStdString()); });
}

std::string DialogJobHost::FirmwarePathText() {
  return OnUiThread([this] { return widgets_.path_edit->text().toStdString(); });
}

void DialogJobHost::ShowStatus(const std::string& text) {
  OnUiThread([this, &text] {
    widgets_.status->setText(QString::fromStdString(text));
    widgets_.status->show();
  });
}

void DialogJobHost::HideStatus() {
  OnUiThread([this] { widgets_.status->hide(); });
}

void DialogJobHost::SetProgressRange(std::int32_t low, std::int32_t high) {
  OnUiThread([this, low, high] {
    widgets_.progress->setRange(low, high);
    phase_low_ = low;
    phase_high_ = high;
    phase_clock_.start();
    final_phase_ms_.reset();
    widgets_.progress->setFormat(PhaseProgressFormat(AppState().LanguageBase, 0, -1));
  });
}

void DialogJobHost::SetProgressPosition(std::int32_t position) {
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

void DialogJobHost::FlushDeferred() {
  widgets_.log_box->FlushPending();
  std::optional<std::int32_t> position;
  {
    std::lock_guard lock(progress_mutex_);
    position.swap(pending_position_);
  }
  if (position) ApplyProgressPosition(*position);
}

void DialogJobHost::ApplyProgressPosition(std::int32_t position) {
  widgets_.progress->setValue(position);
  if (phase_clock_.isValid()) ShowProgressTimes();
}

void DialogJobHost::SetJobControls(JobControls state) {
  const bool idle = state == JobControls::idle;
  OnUiThread([this, idle] {
    for (QPushButton* button : widgets_.job_buttons) button->setEnabled(idle);
  });
  // The port is the job's until now; it is closed on the job's own thread.
  if (idle) ClosePortQuietly(serial_);
}

void DialogJobHost::StartBusyIndicator() {
  OnUiThread([this] { busy_timer_.start(kBusyIndicatorPeriod); });
}

void DialogJobHost::StopBusyIndicator() {
  OnUiThread([this] {
    widgets_.busy_indicator->hide();
    busy_timer_.stop();
    widgets_.window->update();
  });
}

void DialogJobHost::BusyIndicatorTick() {
  widgets_.busy_indicator->SetText(Text(text::kBusyIndicator) + QString(dot_count_, QChar('.')));
  widgets_.busy_indicator->show();
  // 0 only on the very first tick; the cycle 1, 2, 3 then runs on across jobs.
  dot_count_ = dot_count_ % 3 + 1;
}

LogView& DialogJobHost::Log() {
  return *widgets_.log_box;
}

QMessageBox* DialogJobHost::NewMessageBox(const QString& text) {
  // Owner-less, like every message of the program; placed over the window.
  auto* box =
      new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(AppState().ProductNameText), text,
                      QMessageBox::Ok);
  box->setObjectName(QStringLiteral("messageBox"));
  box->setWindowIcon(widgets_.window->windowIcon());
  return box;
}

void DialogJobHost::CentreOnWindow(QWidget* box) {
  // A message box takes its final size only as it is shown; placed before,
  // it would be placed by a size it does not have.
  const QRect frame = box->frameGeometry();
  box->move(widgets_.window->frameGeometry().center() -
            QPoint(frame.width() / 2, frame.height() / 2));
}

void DialogJobHost::ShowMessage(const std::string& text) {
  const TextId id = std::exchange(message_id_, 0);
  if (!OnThreadOf(this)) observers_.MessageShown(id, text);
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

void DialogJobHost::ImageLoaded(const ImageSummary& summary) {
  observers_.ImageLoaded(summary);
  if (summary.trailing_bytes <= 0 || !AppState().DiagnosticLog) return;
  widgets_.log_box->AppendLine("# " + LookupText(text::kTrailingBytes) + " " +
                               std::to_string(summary.trailing_bytes) + "\r\n");
}

void DialogJobHost::BeginBusyCursor() {
  OnUiThread([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

void DialogJobHost::EndBusyCursor() {
  OnUiThread([] { QApplication::restoreOverrideCursor(); });
}

}  // namespace vexo::ui
