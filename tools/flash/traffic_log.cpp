#include "tools/flash/traffic_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vexo {
namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kNullDevice[] = "/dev/null";
constexpr std::size_t kFirstLineLimit = 256;  // bytes read to judge an existing file

std::string FirstLine(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {};
  char buffer[kFirstLineLimit];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  close(fd);
  if (got <= 0) return {};
  std::string text(buffer, static_cast<std::size_t>(got));
  return text.substr(0, text.find_first_of("\r\n"));
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool IsLogLine(const std::string& line) {
  if (line.rfind("# VEXO", 0) == 0) return true;
  std::size_t at = 0;
  if (!line.empty() && line[0] == '+') {
    at = 1;
    while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
    if (at == 1 || at >= line.size() || line[at] != ' ') return false;
    ++at;
  }
  return line.compare(at, 2, "S:") == 0 || line.compare(at, 2, "R:") == 0;
}

std::optional<std::string> LogPathRefusal(const std::string& path,
                                          const std::vector<std::string>& keep) {
  struct stat log {};
  if (stat(path.c_str(), &log) != 0) return std::nullopt;  // a new file harms nothing
  for (const std::string& kept : keep) {
    struct stat other {};
    if (!kept.empty() && stat(kept.c_str(), &other) == 0 && SameFile(log, other)) {
      return "the log file " + path + " is the same file as " + kept +
             "; writing the log would destroy it";
    }
  }
  // A pipe would hold the job until something reads it, and a device is no
  // file to keep; /dev/null is how a script asks for no log at all.
  struct stat null_device {};
  if (!S_ISREG(log.st_mode) &&
      !(stat(kNullDevice, &null_device) == 0 && SameFile(log, null_device))) {
    return "the log file " + path + " is not a regular file; a log is written only to a file";
  }
  if (S_ISREG(log.st_mode) && log.st_size > 0 && !IsLogLine(FirstLine(path))) {
    return "the log file " + path + " exists and is not a VEXO log; it is left as it is";
  }
  return std::nullopt;
}

TrafficLog::TrafficLog(LogTimes times, Clock& clock)
    : times_(times), clock_(clock), start_ms_(clock.NowMs()) {}

TrafficLog::~TrafficLog() {
  if (fd_ >= 0) close(fd_);
}

std::optional<std::string> TrafficLog::Open(const std::string& path) {
  // Never waits for a reader: a pipe put in the file's place since it was
  // judged fails here instead.
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd_ < 0) return "cannot write the log file " + path + ": " + std::strerror(errno);
  path_ = path;
  start_ms_ = clock_.NowMs();
  return std::nullopt;
}

void TrafficLog::WriteComment(const std::string& text) {
  Write("# " + text + kLineEnd);
}

void TrafficLog::AppendLine(const std::string& line) {
  length_ += line.size();
  if (times_ == LogTimes::on) {
    Write("+" + std::to_string(clock_.NowMs() - start_ms_) + " " + line);
  } else {
    Write(line);
  }
}

void TrafficLog::Write(const std::string& text) {
  if (fd_ < 0 || failed_) return;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = write(fd_, text.data() + done, text.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    failed_ = true;
    std::fprintf(stderr, "vexo-flash: the log file %s cannot be written (%s); the job goes on\n",
                 path_.c_str(), put < 0 ? std::strerror(errno) : "nothing written");
    return;
  }
}

}  // namespace vexo
