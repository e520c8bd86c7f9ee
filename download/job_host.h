// Everything the download engine needs of the program that hosts it (the
// window, the command line, a test). The engine calls these from its worker
// thread and touches its host in no other way; a host whose widgets belong to
// another thread must carry each call over to that thread and wait for it.
// The host outlives every job it runs.
#pragma once

#include <cstdint>
#include <string>

#include "download/job_observer.h"
#include "link/log_view.h"
#include "link/message_host.h"
#include "link/serial_control.h"

namespace vexo {

inline constexpr int kModeEraseProgram = 0;        // "E.P"
inline constexpr int kModeEraseProgramVerify = 1;  // "E.P.R"

enum class JobControls { busy, idle };

// The application's counted busy cursor: nested Begin/End pairs end only with
// the outermost End.
class BusyCursorHost {
 public:
  virtual ~BusyCursorHost() = default;
  virtual void BeginBusyCursor() = 0;
  virtual void EndBusyCursor() = 0;
};

// Holds the busy cursor for a scope; a null host holds nothing.
class BusyCursorScope {
 public:
  explicit BusyCursorScope(BusyCursorHost* host) : host_(host) {
    if (host_) host_->BeginBusyCursor();
  }
  ~BusyCursorScope() {
    if (host_) host_->EndBusyCursor();
  }
  BusyCursorScope(const BusyCursorScope&) = delete;
  BusyCursorScope& operator=(const BusyCursorScope&) = delete;

 private:
  BusyCursorHost* host_;
};

class JobHost : public MessageHost, public BusyCursorHost, public JobObserver {
 public:
  virtual int DownloadMode() = 0;
  virtual std::string PortListText() = 0;
  // The baud list's text as a C-library decimal conversion reads it; 0 when
  // nothing is selected.
  virtual int GetBaudRate() = 0;
  virtual std::string FirmwarePathText() = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void HideStatus() = 0;
  virtual void SetProgressRange(std::int32_t low, std::int32_t high) = 0;
  virtual void SetProgressPosition(std::int32_t position) = 0;
  // busy: "E.P.R", "E.P" and Exit disabled. idle: enabled again, and the port
  // closed if open (ClosePortQuietly).
  virtual void SetJobControls(JobControls state) = 0;
  virtual void StartBusyIndicator() = 0;
  virtual void StopBusyIndicator() = 0;
  virtual SerialControl& SerialPort() = 0;
  virtual LogView& Log() = 0;
};

// Closes the port if it is open.
void ClosePortQuietly(SerialControl& port);

}  // namespace vexo
