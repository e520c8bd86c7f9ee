// The command-line host of the download engine. What the window would show
// goes to a ConsoleOutput: messages as lines on standard error, on a terminal
// a progress line redrawn in place. The log goes to a file when one is
// given, every line kept. Called from the job's worker thread only, while the
// main thread waits for it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "download/job_host.h"
#include "link/cmscomm.h"
#include "tools/flash/console_output.h"

namespace vexo {

// A log that keeps no text: it counts what an on-screen box would hold (so
// the exchange's emptying works as in the window) and writes every line to a
// file, if one is open.
class FileLog final : public LogView {
 public:
  explicit FileLog(std::FILE* file = nullptr) : file_(file) {}
  std::size_t TextLength() override { return length_; }
  void Empty() override { length_ = 0; }
  void AppendLine(const std::string& line) override;

 private:
  std::FILE* file_;
  std::size_t length_ = 0;
};

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

 private:
  ConsoleJob job_;
  ConsoleOutput& output_;
  LogView& log_;
  CMSComm port_;
};

}  // namespace vexo
