// The port seam: everything the engine does with a serial line, and nothing
// more (open at a rate, change the rate, write, read what is waiting, wait
// for input with a limit, abort, close). 8 data bits, no parity, 1 stop bit
// throughout. CMSComm (termios) is the implementation on a POSIX serial
// device; tests plug in scripted ports. One thread drives a port at a time,
// except Abort. Failures are PortStatus values that carry the system's
// reason; nothing throws. No system header is needed here, so the engine
// builds for targets without a POSIX serial port.
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
  bad_settings,       // a rate or line setting this port cannot take
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

  // Opens the port the port list calls "COM<comm_port>" (a port its host has
  // bound to one device opens that one) at rate, with RTS raised where the
  // line has it. An open port stays as it is.
  virtual PortStatus Open(int comm_port, int rate) = 0;
  // Changes the line rate; on an open port at once, without losing a byte in
  // flight.
  virtual PortStatus SetRate(int rate) = 0;
  virtual bool PortOpen() const = 0;
  // Puts the line back as it was found; a closed port stays closed.
  virtual void Close() = 0;
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
  // From any thread: every open, wait and transfer from now on fails at once
  // (a wait in progress wakes), so the job driving the port ends promptly and
  // closes it. For good: a stopped program does not reopen the line.
  virtual void Abort() = 0;
};

}  // namespace vexo
