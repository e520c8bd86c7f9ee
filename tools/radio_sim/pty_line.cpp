// The pseudo-terminal line. The simulator holds the master and a descriptor
// on the slave: the host closing its port then does not end the line, and
// the slave's termios tell the rate the host has set. An inotify watch on the
// slave sees the host open and close the port.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "tools/radio_sim/line.h"
#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

namespace {

class PtyLine final : public Line {
 public:
  ~PtyLine() override { Close(); }

  bool Open(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    std::array<char, 128> name{};
    if (ptsname_r(master_, name.data(), name.size()) != 0) {
      error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    path_ = name.data();
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
      error = "cannot open " + path_ + ": " + std::strerror(errno);
      return false;
    }
    // Raw from the start: a line discipline that echoes would send the host's
    // own bytes back before any host has set the port up.
    if (!MakeRaw(slave_, kStartRate, error)) return false;
    int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
      error = std::string("cannot make the line non-blocking: ") + std::strerror(errno);
      return false;
    }
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && inotify_add_watch(watch_, path_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
      close(watch_);
      watch_ = -1;
    }
    return true;
  }

  const std::string& path() const override { return path_; }
  int fd() const override { return master_; }

  int HostRate() const override {
    termios t{};
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return 0;
    return RateOfSpeed(cfgetospeed(&t));
  }

  void SetRate(int) override {}  // a pseudo-terminal has no rate of its own end

  int WatchFd() const override { return watch_; }

  std::vector<std::string> TakePortEvents() override {
    std::vector<std::string> events;
    bool released = false;
    alignas(inotify_event) std::array<char, 4096> buffer;
    for (;;) {
      ssize_t n = read(watch_, buffer.data(), buffer.size());
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer.data() + at);
        if (e->mask & IN_OPEN) {
          ++opens_;
          events.emplace_back("opened");
        } else if (e->mask & IN_CLOSE) {
          opens_ = opens_ > 0 ? opens_ - 1 : 0;
          released = released || opens_ == 0;
          events.emplace_back("closed");
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    if (released) Released();
    return events;
  }

  bool HostListening() const override { return watch_ < 0 || opens_ > 0; }
  // Closing the master hangs the slave up, and the kernel flushes its input.
  bool LosesUnreadOnClose() const override { return true; }

  void HangUp() override { Close(); }

 private:
  // The host has closed the port (and may have opened it again since).
  // What it left unread would greet its next open: a cable loses it. Its
  // exclusive hold (TIOCEXCL) outlives its close while our descriptor keeps
  // the slave open and would refuse that next open, unless it is open again.
  void Released() {
    tcflush(slave_, TCIFLUSH);
    if (opens_ == 0) ioctl(slave_, TIOCNXCL);
  }

  void Close() {
    for (int* fd : {&watch_, &slave_, &master_}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

  std::string path_;
  int master_ = -1;
  int slave_ = -1;
  int watch_ = -1;
  int opens_ = 0;
};

}  // namespace

std::unique_ptr<Line> OpenPtyLine(std::string& error) {
  auto line = std::make_unique<PtyLine>();
  if (!line->Open(error)) return nullptr;
  return line;
}

}  // namespace vexo::sim
