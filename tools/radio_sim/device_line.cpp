// A real serial device as the line: the simulator's end is set to its own
// rate, so bytes the host sends at another rate arrive as the garbage they
// are; the host's rate cannot be seen.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/radio_sim/line.h"
#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

namespace {

class DeviceLine final : public Line {
 public:
  explicit DeviceLine(std::string path) : path_(std::move(path)) {}
  ~DeviceLine() override { HangUp(); }

  bool Open(std::string& error) {
    fd_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
      error = "cannot open " + path_ + ": " + std::strerror(errno);
      return false;
    }
    return MakeRaw(fd_, kStartRate, error);
  }

  const std::string& path() const override { return path_; }
  int fd() const override { return fd_; }
  int HostRate() const override { return 0; }

  void SetRate(int rate) override {
    std::string ignored;
    if (fd_ >= 0) MakeRaw(fd_, rate, ignored);
  }

  void HangUp() override {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<Line> OpenDeviceLine(const std::string& path, std::string& error) {
  auto line = std::make_unique<DeviceLine>(path);
  if (!line->Open(error)) return nullptr;
  return line;
}

}  // namespace vexo::sim
