#include "link/cmscomm.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <thread>

#include "link/port_diagnosis.h"
#include "link/port_map.h"

namespace vexo {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Output gives up when the device has taken no byte for this long; a line
// without flow control drains far faster than this at any rate we use.
constexpr std::chrono::milliseconds kOutputStallLimit{2000};

struct RateCode {
  int baud;
  speed_t code;
};

constexpr RateCode kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> RateCodeFor(int baud) {
  for (const RateCode& rate : kRates) {
    if (rate.baud == baud) return rate.code;
  }
  return std::nullopt;
}

// A decimal field of digits only: no sign, no blanks, no leftovers.
std::optional<int> DigitsValue(std::string_view field) {
  if (field.empty() || field.size() > 9) return std::nullopt;
  int value = 0;
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (ec != std::errc() || end != field.data() + field.size()) return std::nullopt;
  return value;
}

std::string SystemReason(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

// The system's reason, then one line per set-up hint.
std::string WithHints(std::string reason, const std::vector<std::string>& hints) {
  for (const std::string& hint : hints) reason += "\n" + hint;
  return reason;
}

PortStatus OpenFailure(const std::string& path, int error) {
  PortError code = PortError::io_error;
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      code = PortError::not_found;
      break;
    case EACCES:
    case EPERM:
      code = PortError::permission_denied;
      break;
    case EBUSY:
    case EWOULDBLOCK:
      code = PortError::busy;
      break;
    default:
      break;
  }
  const int shown = error == EWOULDBLOCK ? EBUSY : error;
  return {code, WithHints(SystemReason(path, shown), OpenFailureHints(path, error))};
}

std::string PresentPortsText() {
  std::string text;
  for (const SerialDevice& port : CommPortMap()) {
    text += (text.empty() ? "" : ", ") + port.name + " = " + port.device;
  }
  return text.empty() ? "no serial devices found" : "present: " + text;
}

bool IsHangUp(short revents) {
  return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int RemainingMs(SteadyClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
}

}  // namespace

std::optional<LineSettings> ParseSettings(std::string_view text) {
  std::string_view fields[4];
  std::size_t count = 0;
  while (true) {
    const std::size_t comma = text.find(',');
    if (count == 4) return std::nullopt;  // a fifth field
    fields[count++] = text.substr(0, comma);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (count != 4) return std::nullopt;

  LineSettings line;
  const std::optional<int> baud = DigitsValue(fields[0]);
  if (!baud || !RateCodeFor(*baud)) return std::nullopt;
  line.baud = *baud;

  if (fields[1].size() != 1) return std::nullopt;
  switch (fields[1][0]) {
    case 'n':
    case 'N':
      line.parity = Parity::none;
      break;
    case 'e':
    case 'E':
      line.parity = Parity::even;
      break;
    case 'o':
    case 'O':
      line.parity = Parity::odd;
      break;
    default:
      return std::nullopt;
  }

  const std::optional<int> data_bits = DigitsValue(fields[2]);
  if (!data_bits || *data_bits < 5 || *data_bits > 8 || fields[2].size() != 1) return std::nullopt;
  line.data_bits = *data_bits;

  const std::optional<int> stop_bits = DigitsValue(fields[3]);
  if (!stop_bits || (*stop_bits != 1 && *stop_bits != 2) || fields[3].size() != 1) {
    return std::nullopt;
  }
  line.stop_bits = *stop_bits;
  return line;
}

CMSComm::CMSComm() : wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CMSComm::~CMSComm() {
  Close();
  if (wake_fd_ >= 0) close(wake_fd_);
}

void CMSComm::Abort() {
  aborted_ = true;
  if (wake_fd_ >= 0) {
    const std::uint64_t one = 1;
    (void)!write(wake_fd_, &one, sizeof one);
  }
}

void CMSComm::SetDevicePath(std::string path) {
  device_path_ = std::move(path);
}

std::string CMSComm::DevicePath() const {
  if (fd_ >= 0) return open_path_;
  if (!device_path_.empty()) return device_path_;
  return ResolveCommPort(comm_port_).value_or(std::string());
}

void CMSComm::SetRTSEnable(bool enable) {
  rts_enable_ = enable;
  if (fd_ >= 0 && !failed_) ApplyRts();
}

PortStatus CMSComm::SetSettings(const std::string& settings) {
  const std::optional<LineSettings> line = ParseSettings(settings);
  if (!line) {
    return {PortError::bad_settings,
            "bad line settings \"" + settings + "\": expected rate,parity,data,stop as 9600,n,8,1"};
  }
  line_ = *line;
  if (fd_ < 0) return {};
  if (failed_) return {PortError::disconnected, open_path_ + ": the device is gone"};
  return ApplyLine();
}

PortStatus CMSComm::SetRate(int rate) {
  return SetSettings(std::to_string(rate) + ",n,8,1");
}

bool CMSComm::PortOpen() const {
  return fd_ >= 0;
}

PortStatus CMSComm::Open(int comm_port, int rate) {
  if (fd_ >= 0) return {};
  comm_port_ = comm_port;
  if (PortStatus line = SetRate(rate); !line.ok()) return line;
  return OpenDevice();
}

void CMSComm::Close() {
  if (fd_ >= 0) {
    // A terminal given as the port (or any device) is left as it was found.
    if (restore_line_) tcsetattr(fd_, TCSANOW, &opened_line_);
    // The exclusive flag belongs to the terminal, not to this descriptor.
    ioctl(fd_, TIOCNXCL);
    close(fd_);  // the descriptor is released even when close reports an error
  }
  fd_ = -1;
  failed_ = false;
  restore_line_ = false;
  held_.clear();
  open_path_.clear();
}

PortStatus CMSComm::OpenDevice() {
  if (aborted_) return {PortError::io_error, "stopped on request"};
  std::string path = device_path_;
  if (path.empty()) {
    const std::optional<std::string> resolved = ResolveCommPort(comm_port_);
    if (!resolved) {
      return {PortError::no_such_port, WithHints("COM" + std::to_string(comm_port_) +
                                                     " is no serial device; " + PresentPortsText(),
                                                 MissingDeviceHints())};
    }
    path = *resolved;
  }

  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenFailure(path, errno);
  // TIOCEXCL keeps out later openers without CAP_SYS_ADMIN; the advisory lock
  // also keeps out cooperating programs that run as root.
  if (ioctl(fd, TIOCEXCL) != 0 && errno == ENOTTY) {
    close(fd);
    return {PortError::io_error, path + ": not a serial device"};
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    return OpenFailure(path, error);
  }
  fd_ = fd;
  failed_ = false;
  open_path_ = path;
  restore_line_ = tcgetattr(fd_, &opened_line_) == 0;

  // USB adapters hold received bytes back for up to 16 ms by default; the
  // request/reply protocol wants them at once. Devices without the flag
  // refuse, and that is fine.
  serial_struct serial{};
  if (ioctl(fd_, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd_, TIOCSSERIAL, &serial);
  }

  PortStatus status = ApplyLine();
  if (status.ok()) status = ApplyRts();
  if (!status.ok()) Close();
  return status;
}

PortStatus CMSComm::ApplyLine() {
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return Failure(errno);
  cfmakeraw(&tio);
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[line_.data_bits - 5];
  if (line_.parity != Parity::none) tio.c_cflag |= PARENB;
  if (line_.parity == Parity::odd) tio.c_cflag |= PARODD;
  if (line_.stop_bits == 2) tio.c_cflag |= CSTOPB;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  const speed_t code = *RateCodeFor(line_.baud);  // ParseSettings admits table rates only
  cfsetispeed(&tio, code);
  cfsetospeed(&tio, code);
  // TCSANOW without a flush: the rate switch must not lose a byte in flight.
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return Failure(errno);
  return {};
}

PortStatus CMSComm::ApplyRts() {
  const int bits = TIOCM_RTS;
  if (ioctl(fd_, rts_enable_ ? TIOCMBIS : TIOCMBIC, &bits) == 0) return {};
  // Pseudo-terminals and some adapters have no modem lines.
  if (errno == ENOTTY || errno == EINVAL) return {};
  return Failure(errno);
}

PortStatus CMSComm::Failure(int error) {
  if (error == EIO || error == ENXIO || error == ENODEV) {
    MarkFailed();
    return {PortError::disconnected, SystemReason(open_path_, error) + "; the device is gone"};
  }
  return {PortError::io_error, SystemReason(open_path_, error)};
}

void CMSComm::MarkFailed() {
  failed_ = true;
}

int CMSComm::InBufferCount() {
  if (fd_ < 0) return 0;
  const int held = static_cast<int>(held_.size());
  if (failed_) return held;
  int count = 0;
  if (ioctl(fd_, FIONREAD, &count) != 0) {
    Failure(errno);
    return held;
  }
  return held + std::max(count, 0);
}

void CMSComm::Drain() {
  std::uint8_t buffer[kInputReadLimit];
  for (;;) {
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got > 0) {
      held_.insert(held_.end(), buffer, buffer + got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != EAGAIN) Failure(errno);
    return;
  }
}

std::vector<std::uint8_t> CMSComm::Input(std::size_t max_bytes) {
  std::vector<std::uint8_t> bytes;
  if (fd_ < 0) return bytes;
  bytes.resize(max_bytes);
  // Bytes taken in while waiting come first: they arrived first.
  std::size_t taken = std::min(max_bytes, held_.size());
  std::copy_n(held_.begin(), taken, bytes.begin());
  held_.erase(held_.begin(), held_.begin() + static_cast<long>(taken));
  if (failed_) max_bytes = taken;
  while (taken < max_bytes) {
    const ssize_t got = read(fd_, bytes.data() + taken, max_bytes - taken);
    if (got > 0) {
      taken += static_cast<std::size_t>(got);
      continue;
    }
    // With VMIN and VTIME 0 a read of nothing waiting gives 0, not EAGAIN.
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != EAGAIN) Failure(errno);
    break;
  }
  bytes.resize(taken);
  return bytes;
}

PortStatus CMSComm::Output(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return {PortError::not_open, "the port is not open"};
  if (aborted_) MarkFailed();
  if (failed_) return {PortError::disconnected, open_path_ + ": the device is gone"};
  std::size_t sent = 0;
  auto stall_deadline = SteadyClock::now() + kOutputStallLimit;
  while (sent < bytes.size()) {
    const ssize_t put = write(fd_, bytes.data() + sent, bytes.size() - sent);
    if (put > 0) {
      sent += static_cast<std::size_t>(put);
      stall_deadline = SteadyClock::now() + kOutputStallLimit;
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN) {
      PortStatus status = Failure(errno);
      status.reason +=
          " (" + std::to_string(sent) + " of " + std::to_string(bytes.size()) + " bytes sent)";
      return status;
    }
    pollfd waiter{fd_, POLLOUT, 0};
    const int ready = poll(&waiter, 1, RemainingMs(stall_deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Failure(errno);
    if (ready == 1 && IsHangUp(waiter.revents)) {
      MarkFailed();
      return {PortError::disconnected, open_path_ + ": the device hung up"};
    }
    if (ready == 0) {
      return {PortError::io_error, open_path_ + ": the device takes no more output (" +
                                       std::to_string(sent) + " of " +
                                       std::to_string(bytes.size()) + " bytes sent)"};
    }
  }
  return {};
}

void CMSComm::SleepUnlessAborted(std::chrono::nanoseconds span) {
  if (wake_fd_ < 0) {
    std::this_thread::sleep_for(span);
    return;
  }
  const timespec wait{static_cast<time_t>(span.count() / 1'000'000'000),
                      static_cast<long>(span.count() % 1'000'000'000)};
  pollfd waiter{wake_fd_, POLLIN, 0};
  ppoll(&waiter, 1, &wait, nullptr);
}

WaitResult CMSComm::WaitForInput(std::chrono::milliseconds limit) {
  if (aborted_) MarkFailed();
  if (fd_ >= 0 && !held_.empty()) return WaitResult::input_waiting;
  if (fd_ < 0 || failed_) return WaitResult::failed;
  const auto deadline = SteadyClock::now() + std::max(limit, std::chrono::milliseconds::zero());
  while (true) {
    pollfd waiters[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    pollfd& waiter = waiters[0];
    const int ready = poll(waiters, wake_fd_ >= 0 ? 2 : 1, RemainingMs(deadline));
    if (aborted_) {
      MarkFailed();
      return WaitResult::failed;
    }
    if (ready < 0 && errno == EINTR) {
      if (SteadyClock::now() >= deadline) return WaitResult::timed_out;
      continue;
    }
    if (ready < 0) {
      MarkFailed();
      return WaitResult::failed;
    }
    if (ready == 0) return WaitResult::timed_out;
    if (IsHangUp(waiter.revents)) {
      // Bytes that arrived before the hang-up are still handed out; once
      // they are read, the next wait fails.
      if ((waiter.revents & POLLIN) != 0 && InBufferCount() > 0) return WaitResult::input_waiting;
      MarkFailed();
      return WaitResult::failed;
    }
    return WaitResult::input_waiting;
  }
}

WaitResult CMSComm::WaitForBytes(std::size_t count, std::chrono::milliseconds limit) {
  if (fd_ < 0 || failed_ || aborted_) return WaitForInput(limit);
  const auto deadline = SteadyClock::now() + std::max(limit, std::chrono::milliseconds::zero());
  const int bits_per_byte =
      1 + line_.data_bits + (line_.parity == Parity::none ? 0 : 1) + line_.stop_bits;
  const auto byte_time = std::chrono::microseconds(bits_per_byte * 1'000'000LL / line_.baud);
  // Waking tens of microseconds late on every reply adds up over a download.
  thread_local const bool precise = prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0) == 0;
  (void)precise;
  for (;;) {
    // What has arrived is taken in, so that the wait below sleeps until the
    // next byte instead of returning at once for the ones already here.
    Drain();
    if (failed_ || held_.size() >= count) return WaitResult::input_waiting;
    const auto left = deadline - SteadyClock::now();
    if (left <= SteadyClock::duration::zero()) return WaitResult::input_waiting;
    if (held_.empty()) {
      const WaitResult first = WaitForInput(std::chrono::ceil<std::chrono::milliseconds>(left));
      if (first != WaitResult::input_waiting) return first;
      continue;
    }
    // The rest cannot be here before the line has carried it: sleep through
    // all but its last byte, then wake for each arrival.
    const auto rest = byte_time * static_cast<long>(count - held_.size() - 1);
    if (rest > std::chrono::microseconds::zero()) {
      SleepUnlessAborted(std::min<SteadyClock::duration>(rest, left));
      if (aborted_) return WaitForInput(limit);
      continue;
    }
    pollfd waiters[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    pollfd& waiter = waiters[0];
    const auto left_ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    const int ready = poll(waiters, wake_fd_ >= 0 ? 2 : 1,
                           static_cast<int>(std::min<long long>(left_ms, INT_MAX)));
    if (aborted_) return WaitForInput(limit);
    if (ready > 0 && IsHangUp(waiter.revents) && (waiter.revents & POLLIN) == 0) {
      MarkFailed();
      return WaitResult::input_waiting;  // what is held is still handed out
    }
  }
}

}  // namespace vexo
