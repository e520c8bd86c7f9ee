// CMSComm: the port seam (serial_control.h) on a POSIX serial device
// (termios + poll). Raw lines, exclusive open (TIOCEXCL, plus an advisory
// flock that also keeps out cooperating programs running as root), low-latency
// mode asked of USB adapters, RTS raised where the device has modem lines
// (unless SetRTSEnable(false)). The device is the one bound with SetDevicePath,
// or else the one the port number given to Open resolves to through the port
// map (port_map.h). Closing puts back the line settings the device had before
// it was opened. Only hosts and the POSIX-only set-up check name this class.
// Owned by its host; driven by one thread at a time, except Abort.
#pragma once

#include <termios.h>

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "link/serial_control.h"

namespace vexo {

enum class Parity { none, even, odd };

struct LineSettings {
  int baud = 9600;
  Parity parity = Parity::none;
  int data_bits = 8;
  int stop_bits = 1;
};

// Parses "9600,n,8,1": a rate termios supports, parity n/e/o (either case),
// 5..8 data bits, 1 or 2 stop bits. Anything else gives nullopt.
std::optional<LineSettings> ParseSettings(std::string_view text);

class CMSComm final : public SerialControl {
 public:
  CMSComm();
  ~CMSComm() override;
  CMSComm(const CMSComm&) = delete;
  CMSComm& operator=(const CMSComm&) = delete;

  // Binds the control to a device path; the port number is then not
  // resolved. An empty path returns to resolving it.
  void SetDevicePath(std::string path);
  // The device the control is (or would be) opened on; empty if unresolved.
  std::string DevicePath() const;
  // false: RTS is lowered on opening instead of raised. On an open port the
  // line changes at once.
  void SetRTSEnable(bool enable);
  // The whole line as "rate,parity,data,stop", e.g. "4800,e,7,2"; on an open
  // port it changes at once. Open and SetRate go back to 8-n-1.
  PortStatus SetSettings(const std::string& settings);

  PortStatus Open(int comm_port, int rate) override;
  PortStatus SetRate(int rate) override;
  bool PortOpen() const override;
  void Close() override;
  int InBufferCount() override;
  std::vector<std::uint8_t> Input(std::size_t max_bytes = kInputReadLimit) override;
  PortStatus Output(std::span<const std::uint8_t> bytes) override;
  WaitResult WaitForInput(std::chrono::milliseconds limit) override;
  WaitResult WaitForBytes(std::size_t count, std::chrono::milliseconds limit) override;
  int LineRate() const override { return line_.baud; }
  void Abort() override;

 private:
  PortStatus OpenDevice();
  PortStatus ApplyLine();
  PortStatus ApplyRts();
  // The status for a failed system call; a vanished device marks the port
  // failed.
  PortStatus Failure(int error);
  void MarkFailed();
  // Moves every byte waiting in the kernel into held_.
  void Drain();
  // Sleeps for span, waking early when Abort is called.
  void SleepUnlessAborted(std::chrono::nanoseconds span);

  std::string device_path_;
  int comm_port_ = 0;
  bool rts_enable_ = true;
  LineSettings line_;
  int fd_ = -1;
  std::string open_path_;           // the device fd_ was opened on
  bool failed_ = false;             // device gone while open: later calls fail at once
  std::vector<std::uint8_t> held_;  // read while waiting, not yet handed out
  termios opened_line_{};           // the device's settings before we opened it
  bool restore_line_ = false;
  std::atomic<bool> aborted_{false};
  int wake_fd_ = -1;  // an eventfd that Abort makes readable
};

}  // namespace vexo
