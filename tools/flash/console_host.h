// The command-line host of the download engine. What the window would show
// goes to a ConsoleOutput: messages as lines on standard error, on a terminal
// a progress line redrawn in place. The log goes to a TrafficLog. The job's
// worker thread makes the host calls; the main thread may meanwhile Say a
// line or StopJob (both thread-safe). The watchers hear every note through
// one JobObservers list, under the output lock, so a line the main thread
// says never meets a phase change in a watcher (the history recorder takes
// one thread at a time).
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "download/job_host.h"
#include "download/job_observers.h"
#include "link/cmscomm.h"
#include "tools/flash/console_output.h"

namespace vexo {

struct ConsoleJob {
  int mode = 0;
  std::string port_text;  // "COMn" or a device path
  int baud = 19200;
  std::string firmware_path;
};

class ConsoleHost final : public JobHost {
 public:
  ConsoleHost(const ConsoleJob& job, ConsoleOutput& output, LogView& log);

  int DownloadMode() override { return job_.mode; }
  std::string PortListText() override { return job_.port_text; }
  int GetBaudRate() override { return job_.baud; }
  std::string FirmwarePathText() override { return job_.firmware_path; }
  void ShowStatus(const std::string& text) override;
  void HideStatus() override;
  void SetProgressRange(std::int32_t low, std::int32_t high) override;
  void SetProgressPosition(std::int32_t position) override;
  void SetJobControls(JobControls state) override;
  void StartBusyIndicator() override;
  void StopBusyIndicator() override;
  SerialControl& SerialPort() override { return port_; }
  LogView& Log() override { return log_; }
  void ShowMessage(const std::string& text) override;
  void BeginBusyCursor() override {}
  void EndBusyCursor() override {}
  void NoteMessageId(TextId id) override;
  // JobObserver: the job's notes, passed on to every watcher.
  void ImageLoaded(const ImageSummary& summary) override {
    Relay(&JobObserver::ImageLoaded, summary);
  }
  void PhaseStarted(JobPhase phase) override;
  void PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) override {
    Relay(&JobObserver::PhaseEnded, phase, ok, tally);
  }
  void IdentityReceived(const std::string& hex) override {
    Relay(&JobObserver::IdentityReceived, hex);
  }
  void RateInUse(int baud, bool downing_declined) override {
    Relay(&JobObserver::RateInUse, baud, downing_declined);
  }
  void ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) override {
    Relay(&JobObserver::ReadBackChecked, pages_compared, first_difference);
  }
  void ClosingConfirmed(bool confirmed) override {
    Relay(&JobObserver::ClosingConfirmed, confirmed);
  }

  // Hears the job's notes, its messages with their ids and its progress
  // (an event stream, the job history). Added before the job starts.
  void AddWatcher(JobObserver& watcher) { watchers_.Add(watcher); }

  // From the erase on, the radio's flash no longer holds its old firmware.
  bool FlashTouched() const { return flash_touched_; }
  // A message of the program's own, shown whatever the job is doing.
  void Say(TextId id);
  void SayText(const std::string& text);
  // Abandons the job: the port fails every call from now on, so the job ends
  // at once and closes it; the messages the job shows meanwhile are held back.
  void StopJob();
  // Shows the last message held back since StopJob; false when there is none.
  bool ShowHeldBackMessage();

 private:
  ConsoleJob job_;
  ConsoleOutput& output_;
  LogView& log_;
  CMSComm port_;
  std::mutex output_mutex_;  // the job's thread and the main thread both write; held
                             // for every watcher call
  std::atomic<bool> flash_touched_{false};
  JobObservers watchers_;
  TextId message_id_ = 0;  // of the message about to be shown
  std::int32_t progress_low_ = 0;
  std::int32_t progress_high_ = 0;
  // Caller holds output_mutex_.
  void Show(TextId id, const std::string& text);
  // Passes a note of the job on to the watchers under the output lock.
  template <typename... Params, typename... Args>
  void Relay(void (JobObserver::*note)(Params...), Args&&... args) {
    std::lock_guard lock(output_mutex_);
    (watchers_.*note)(std::forward<Args>(args)...);
  }

  bool stopping_ = false;                                    // guarded by output_mutex_
  std::optional<std::pair<TextId, std::string>> held_back_;  // guarded by output_mutex_
};

}  // namespace vexo
