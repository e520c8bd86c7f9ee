#include "tools/radio_sim/server.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <vector>

namespace vexo::sim {

namespace {

using Clock = std::chrono::steady_clock;

// Waits of less than this are stretched to it: bytes due within one such
// slice leave together instead of waking the process for each. Kept well
// below a byte time at 115200 (87 us) so that pacing stays true to the line.
constexpr SimTime kShortestWait = std::chrono::microseconds(50);
constexpr std::size_t kReadChunk = 4096;

class Session {
 public:
  Session(Line& line, LineEngine& sim, const ServeOptions& options, int signal_fd)
      : line_(line), sim_(sim), options_(options), signal_fd_(signal_fd) {}

  ServeEnd Run() {
    for (;;) {
      if (std::optional<ServeEnd> end = Step()) return *end;
      if (std::optional<ServeEnd> end = Wait()) return *end;
    }
  }

 private:
  SimTime Now() const { return std::chrono::duration_cast<SimTime>(Clock::now() - start_); }

  // Carries out what is due; an end when the run is over.
  std::optional<ServeEnd> Step() {
    for (LineAction& action : sim_.Run(Now())) {
      switch (action.type) {
        case LineAction::Type::write:
          Queue(action.bytes);
          break;
        case LineAction::Type::set_rate:
          Flush();
          line_.SetRate(action.rate);
          break;
        case LineAction::Type::session_end:
          if (!session_done_) linger_until_ = Now() + options_.linger;
          session_done_ = true;
          break;
        case LineAction::Type::hang_up:
          Flush();
          line_.HangUp();
          Trace();
          return ServeEnd::hung_up;
      }
    }
    if (!Flush()) return ServeEnd::line_failed;
    Trace();
    if (options_.once && session_done_ && unsent_.empty() && !Lingering()) {
      return ServeEnd::session_done;
    }
    return std::nullopt;
  }

  // After the last session, a line that loses what the host has not read
  // stays until the host has closed the port (or the linger time has passed), so the
  // final 06 reaches it.
  bool Lingering() const {
    return line_.LosesUnreadOnClose() && line_.HostListening() && Now() < linger_until_;
  }

  void Queue(const std::vector<std::uint8_t>& bytes) {
    if (!line_.HostListening()) {
      sim_.NotePort(Now(), "nobody listening: " + std::to_string(bytes.size()) + " bytes lost");
      return;
    }
    unsent_.insert(unsent_.end(), bytes.begin(), bytes.end());
  }

  // Writes what the line takes now; false when the line has failed.
  bool Flush() {
    while (!unsent_.empty()) {
      ssize_t n = write(line_.fd(), unsent_.data(), unsent_.size());
      if (n > 0) {
        unsent_.erase(unsent_.begin(), unsent_.begin() + n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      }
    }
    return true;
  }

  std::optional<ServeEnd> Wait() {
    std::array<pollfd, 3> fds{};
    fds[0] = {line_.fd(), static_cast<short>(POLLIN | (unsent_.empty() ? 0 : POLLOUT)), 0};
    fds[1] = {signal_fd_, POLLIN, 0};
    fds[2] = {line_.WatchFd(), POLLIN, 0};
    // Timed to the nanosecond: whole-millisecond waits would add up to
    // seconds over a paced download.
    timespec timeout{};
    timespec* until = nullptr;
    std::optional<SimTime> wake = sim_.NextWake();
    if (options_.once && session_done_ && (!wake || linger_until_ < *wake)) wake = linger_until_;
    if (wake) {
      SimTime wait = *wake - Now();
      if (wait > SimTime(0) && wait < kShortestWait) wait = kShortestWait;
      if (wait < SimTime(0)) wait = SimTime(0);
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      until = &timeout;
    }
    int ready = ppoll(fds.data(), fds.size(), until, nullptr);
    if (ready < 0) return errno == EINTR ? std::nullopt : std::optional(ServeEnd::line_failed);
    if (fds[1].revents & POLLIN) return ServeEnd::stopped;
    if (fds[2].revents & POLLIN) {
      for (std::string& event : line_.TakePortEvents()) sim_.NotePort(Now(), std::move(event));
    }
    if (fds[0].revents & POLLIN) return Read();
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return ServeEnd::line_failed;
    return std::nullopt;
  }

  std::optional<ServeEnd> Read() {
    std::array<std::uint8_t, kReadChunk> buffer;
    ssize_t n = read(line_.fd(), buffer.data(), buffer.size());
    if (n > 0) {
      sim_.Receive(std::span(buffer.data(), static_cast<std::size_t>(n)), line_.HostRate(), Now());
      return std::nullopt;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return std::nullopt;
    return ServeEnd::line_failed;
  }

  void Trace() {
    if (!options_.trace) return;
    const std::vector<ReportEvent>& events = sim_.report().events();
    for (; traced_ < events.size(); ++traced_)
      *options_.trace << DescribeEvent(events[traced_]) << '\n';
    options_.trace->flush();
  }

  Line& line_;
  LineEngine& sim_;
  const ServeOptions& options_;
  int signal_fd_;
  Clock::time_point start_ = Clock::now();
  std::vector<std::uint8_t> unsent_;
  bool session_done_ = false;
  SimTime linger_until_{0};
  std::size_t traced_ = 0;
};

}  // namespace

ServeEnd Serve(Line& line, LineEngine& sim, const ServeOptions& options, int signal_fd) {
  return Session(line, sim, options, signal_fd).Run();
}

}  // namespace vexo::sim
