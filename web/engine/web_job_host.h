// The engine's host in the browser: every control the job drives, its log
// and its messages go to the page's callbacks (Module.vexoUi), and what the
// job tells its observers goes there as event objects. A message waits until
// the page's dialog is dismissed. One job at a time, on the page's thread.
// After the page's stop the engine's own message about the broken line is
// held back: the stop's message says what happened instead.
#pragma once

#include <string>

#include "download/job_host.h"
#include "web/engine/web_serial_port.h"

namespace vexo::web {

// Where the page's firmware files live in the module's memory file system.
inline constexpr char kFirmwareFolder[] = "/firmware";

struct JobRequest {
  std::string file_name;  // in kFirmwareFolder
  int rate = 0;
  int mode = kModeEraseProgram;
};

class WebLogView final : public LogView {
 public:
  std::size_t TextLength() override { return length_; }
  void Empty() override;
  void AppendLine(const std::string& line) override;

 private:
  std::size_t length_ = 0;
};

class WebJobHost final : public JobHost {
 public:
  explicit WebJobHost(JobRequest request) : request_(std::move(request)) {}

  // True once the page's stop reached the line.
  bool StopRequested() const;
  // Whether the job got as far as the erase.
  bool FlashTouched() const { return flash_touched_; }

  // The stop's own message, shown whatever the line says.
  void ShowStoppedMessage(const std::string& text) { Show(text); }

  // MessageHost
  void ShowMessage(const std::string& text) override;
  void NoteMessageId(TextId id) override { message_id_ = id; }
  // BusyCursorHost: the page has no busy cursor; its controls say it.
  void BeginBusyCursor() override {}
  void EndBusyCursor() override {}
  // JobHost
  int DownloadMode() override { return request_.mode; }
  std::string PortListText() override { return "COM1"; }
  int GetBaudRate() override { return request_.rate; }
  std::string FirmwarePathText() override { return request_.file_name; }
  void ShowStatus(const std::string& text) override;
  void HideStatus() override;
  void SetProgressRange(std::int32_t low, std::int32_t high) override;
  void SetProgressPosition(std::int32_t position) override;
  void SetJobControls(JobControls state) override;
  void StartBusyIndicator() override;
  void StopBusyIndicator() override;
  SerialControl& SerialPort() override { return port_; }
  LogView& Log() override { return log_; }
  // JobObserver
  void ImageLoaded(const ImageSummary& summary) override;
  void PhaseStarted(JobPhase phase) override;
  void PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) override;
  void IdentityReceived(const std::string& hex) override;
  void RateInUse(int baud, bool downing_declined) override;
  void ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) override;
  void ClosingConfirmed(bool confirmed) override;

 private:
  void Show(const std::string& text);

  JobRequest request_;
  WebSerialPort port_;
  WebLogView log_;
  TextId message_id_ = 0;
  bool flash_touched_ = false;
  std::int32_t progress_total_ = 0;
};

}  // namespace vexo::web
