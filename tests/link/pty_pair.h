// A pseudo-terminal pair for tests: the master stays with the test, which
// plays the far end of the line; the code under test opens SlavePath() like a
// serial device. Master I/O is non-blocking with bounded waits, so a broken
// test fails instead of hanging. CloseMaster may be called from another thread
// (it is what a pulled cable looks like to the slave side).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vexo::testing {

class PtyPair {
 public:
  PtyPair() {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    const char* name = nullptr;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || (name = ptsname(fd)) == nullptr) {
      close(fd);
      return;
    }
    slave_path_ = name;
    master_.store(fd);
  }
  ~PtyPair() { CloseMaster(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_.load() >= 0; }
  int master() const { return master_.load(); }
  const std::string& SlavePath() const { return slave_path_; }

  void CloseMaster() {
    const int fd = master_.exchange(-1);
    if (fd >= 0) close(fd);
  }

  // Writes every byte to the master (they arrive as the slave's input).
  bool Write(std::span<const std::uint8_t> bytes,
             std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = write(master(), bytes.data() + done, bytes.size() - done);
      if (put > 0) {
        done += static_cast<std::size_t>(put);
      } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
        return false;
      } else if (!WaitFor(POLLOUT, limit)) {
        return false;
      }
    }
    return true;
  }
  bool Write(std::initializer_list<std::uint8_t> bytes) {
    return Write(std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
  }

  // Reads what the slave side sent until count bytes have come or limit has
  // passed without a new byte; returns what came.
  std::vector<std::uint8_t> Read(std::size_t count,
                                 std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::vector<std::uint8_t> bytes(count);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = read(master(), bytes.data() + done, count - done);
      if (got > 0) {
        done += static_cast<std::size_t>(got);
      } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
        break;
      } else if (!WaitFor(POLLIN, limit)) {
        break;
      }
    }
    bytes.resize(done);
    return bytes;
  }

  // The slave's line settings. On Linux the master's termios requests act on
  // the slave, so this works while the slave is held exclusively.
  std::optional<termios> SlaveSettings() const {
    termios tio{};
    if (tcgetattr(master(), &tio) != 0) return std::nullopt;
    return tio;
  }

 private:
  bool WaitFor(short events, std::chrono::milliseconds limit) {
    pollfd waiter{master(), events, 0};
    return poll(&waiter, 1, static_cast<int>(limit.count())) > 0 && (waiter.revents & events);
  }

  std::atomic<int> master_{-1};
  std::string slave_path_;
};

}  // namespace vexo::testing
