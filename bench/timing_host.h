// A JobHost that forwards every call to another host and stamps the time of
// each exchange's "S:" line, so that the time one exchange costs on a host
// can be measured from outside it. Called from the job's thread.
#pragma once

#include <cstdint>
#include <vector>

#include "download/job_host.h"

namespace vexo::bench {

class TimingHost : public JobHost, private LogView {
 public:
  explicit TimingHost(JobHost& inner) : inner_(inner) {}

  // Microseconds from each exchange's first line to the next exchange's.
  std::vector<double> ExchangeMicros() const;
  int Exchanges() const { return static_cast<int>(sends_.size()); }

  int DownloadMode() override { return inner_.DownloadMode(); }
  std::string PortListText() override { return inner_.PortListText(); }
  int GetBaudRate() override { return inner_.GetBaudRate(); }
  std::string FirmwarePathText() override { return inner_.FirmwarePathText(); }
  void ShowStatus(const std::string& text) override { inner_.ShowStatus(text); }
  void HideStatus() override { inner_.HideStatus(); }
  void SetProgressRange(std::int32_t low, std::int32_t high) override {
    inner_.SetProgressRange(low, high);
  }
  void SetProgressPosition(std::int32_t position) override { inner_.SetProgressPosition(position); }
  void SetJobControls(JobControls state) override { inner_.SetJobControls(state); }
  void StartBusyIndicator() override { inner_.StartBusyIndicator(); }
  void StopBusyIndicator() override { inner_.StopBusyIndicator(); }
  SerialControl& SerialPort() override { return inner_.SerialPort(); }
  LogView& Log() override { return *this; }
  void ShowMessage(const std::string& text) override { inner_.ShowMessage(text); }
  void BeginBusyCursor() override { inner_.BeginBusyCursor(); }
  void EndBusyCursor() override { inner_.EndBusyCursor(); }

 private:
  std::size_t TextLength() override { return inner_.Log().TextLength(); }
  void Empty() override { inner_.Log().Empty(); }
  void AppendLine(const std::string& line) override;

  JobHost& inner_;
  std::vector<std::int64_t> sends_;  // steady-clock nanoseconds of each "S:" line
};

// Median and 99th percentile of samples (sorted copy).
struct Spread {
  double median = 0;
  double p99 = 0;
};
Spread SpreadOf(std::vector<double> samples);

}  // namespace vexo::bench
