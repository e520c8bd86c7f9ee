#include "tools/flash/traffic_log.h"

#include "tools/flash/output_path_refusal.h"

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
  const OutputKind log{"the log file", "a VEXO log", [](const std::string& first_bytes) {
                         return IsLogLine(first_bytes.substr(0, first_bytes.find_first_of("\r\n")));
                       }};
  return OutputPathRefusal(path, keep, log);
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
