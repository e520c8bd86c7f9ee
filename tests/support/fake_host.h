// A JobHost for engine tests: records every host call as a line in events,
// holds a ScriptedPort and a FakeLog, counts the busy cursor.
#pragma once

#include <string>
#include <vector>

#include "download/job_host.h"
#include "tests/support/fake_port.h"

namespace vexo::testing {

class FakeHost : public JobHost {
 public:
  explicit FakeHost(FakeClock& clock) : port(clock) {}

  int DownloadMode() override { return mode; }
  std::string PortListText() override { return port_text; }
  int GetBaudRate() override { return baud; }
  std::string FirmwarePathText() override { return path; }
  void ShowStatus(const std::string& text) override {
    status_visible = true;
    status = text;
    events.push_back("status " + text);
  }
  void HideStatus() override {
    status_visible = false;
    events.push_back("hide status");
  }
  void SetProgressRange(std::int32_t low, std::int32_t high) override {
    events.push_back("range " + std::to_string(low) + " " + std::to_string(high));
  }
  void SetProgressPosition(std::int32_t position) override { progress = position; }
  void SetJobControls(JobControls state) override {
    controls_busy = state == JobControls::busy;
    events.push_back(controls_busy ? "controls busy" : "controls idle");
    if (!controls_busy) ClosePortQuietly(port);
  }
  void StartBusyIndicator() override {
    indicator = true;
    events.push_back("indicator on");
  }
  void StopBusyIndicator() override {
    indicator = false;
    events.push_back("indicator off");
  }
  SerialControl& SerialPort() override { return port; }
  LogView& Log() override { return log; }
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    events.push_back("message " + text);
  }
  void BeginBusyCursor() override { ++cursor; }
  void EndBusyCursor() override { --cursor; }

  ScriptedPort port;
  FakeLog log;
  int mode = kModeEraseProgramVerify;
  std::string port_text = "COM1";
  int baud = 57600;
  std::string path;
  bool status_visible = false;
  std::string status;
  std::int32_t progress = -1;
  bool controls_busy = false;
  bool indicator = false;
  int cursor = 0;
  std::vector<std::string> messages;
  std::vector<std::string> events;
};

}  // namespace vexo::testing
