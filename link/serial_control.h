// The serial control as the protocol code sees it: the operations of the
// original communications control (CommPort ... Output) plus a bounded wait
// for input, so that polling loops sleep in the kernel instead of spinning.
// One thread drives a control at a time. Failures are PortStatus values that
// carry the system's reason; nothing throws. CMSComm is the real one; tests
// substitute scripted fakes.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vexo {

inline constexpr std::size_t kInputReadLimit = 2048;  // bytes taken by one Input read

enum class PortError {
  none,
  no_such_port,       // the port number or name resolves to no device
  not_found,          // the device file does not exist (unplugged)
  permission_denied,  // no right to open the device
  busy,               // held by another program
  bad_settings,       // a Settings text this port cannot take
  not_open,           // operation needs an open port
  disconnected,       // the device went away while open (EIO, hang-up)
  io_error,           // any other failure of the system
};

struct PortStatus {
  PortError error = PortError::none;
  std::string reason;  // the system's reason and, where known, what to do
  bool ok() const { return error == PortError::none; }
};

enum class WaitResult { input_waiting, timed_out, failed };

class SerialControl {
 public:
  virtual ~SerialControl() = default;

  virtual void SetCommPort(int number) = 0;
  virtual int CommPort() const = 0;
  virtual void SetInputMode(int mode) = 0;  // 1: bytes
  virtual void SetRThreshold(int threshold) = 0;
  virtual void SetInputLen(int length) = 0;  // 0: a read returns all waiting
  virtual void SetRTSEnable(bool enable) = 0;
  // "rate,parity,data,stop", e.g. "9600,n,8,1". On an open port the line
  // changes at once.
  virtual PortStatus SetSettings(const std::string& settings) = 0;
  virtual bool PortOpen() const = 0;
  virtual PortStatus SetPortOpen(bool open) = 0;
  // Bytes waiting to be read; 0 when closed or failed.
  virtual int InBufferCount() = 0;
  // Every waiting byte, at most max_bytes, in arrival order; never blocks.
  virtual std::vector<std::uint8_t> Input(std::size_t max_bytes = kInputReadLimit) = 0;
  // Queues every byte for transmission; does not wait for them to leave.
  virtual PortStatus Output(std::span<const std::uint8_t> bytes) = 0;
  // Blocks until input is waiting or limit has passed. failed: the port is
  // closed or the device is gone; callers must not wait again in a loop.
  virtual WaitResult WaitForInput(std::chrono::milliseconds limit) = 0;
  // Blocks until at least count bytes are waiting or limit has passed
  // (input_waiting then means some are waiting). A port that knows its line
  // rate sleeps through the time the rest needs on the wire instead of
  // waking for every byte; this one wakes for each arrival.
  virtual WaitResult WaitForBytes(std::size_t count, std::chrono::milliseconds limit) {
    (void)count;
    return WaitForInput(limit);
  }
  // The line's rate in baud as last set; 0 when not known.
  virtual int LineRate() const { return 0; }
};

}  // namespace vexo
