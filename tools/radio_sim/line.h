// The simulator's end of the serial line: a new pseudo-terminal whose slave
// the host opens, or an existing serial device wired to a real host. The
// server polls fd() and reads and writes it directly (non-blocking). Failures
// to open come back as text; one thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vexo::sim {

class Line {
 public:
  virtual ~Line() = default;

  // The device the host opens.
  virtual const std::string& path() const = 0;
  // Non-blocking descriptor to read the host's bytes from and write replies to.
  virtual int fd() const = 0;
  // The rate the host's end is set to; 0 where it cannot be known.
  virtual int HostRate() const = 0;
  // The simulator's own end moves to rate (after the bytes written so far).
  virtual void SetRate(int rate) = 0;
  // Readable when the host opened or closed the port; -1 where not watched.
  virtual int WatchFd() const { return -1; }
  // "opened" / "closed" for each open and close seen since the last call.
  virtual std::vector<std::string> TakePortEvents() { return {}; }
  // False while no host has the port open: what is sent then is lost.
  virtual bool HostListening() const { return true; }
  // True where closing our end throws away what the host has not read yet.
  virtual bool LosesUnreadOnClose() const { return false; }
  // Closes the line as a cable pulled out would.
  virtual void HangUp() = 0;
};

// A new pseudo-terminal at 9600 baud, raw; the simulator keeps a descriptor
// on its slave too. nullptr with error set on failure.
std::unique_ptr<Line> OpenPtyLine(std::string& error);
// An existing serial device, raw, 8N1, at 9600 baud.
std::unique_ptr<Line> OpenDeviceLine(const std::string& path, std::string& error);

// termios speed constants and rates in baud; 0 / B0 when unknown.
int RateOfSpeed(unsigned speed);
unsigned SpeedOfRate(int rate);
// Sets fd raw, 8N1, receiver on, modem lines ignored, at rate; false with
// error set when the system refuses.
bool MakeRaw(int fd, int rate, std::string& error);

}  // namespace vexo::sim
