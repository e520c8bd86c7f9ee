// The traffic log of vexo-flash (--log FILE): one header line starting with
// '#', then every S:/R: line of the job, each written to the file with one
// system call as it happens, so that however the process ends the file holds
// every whole line up to then. With times on, each S:/R: line starts with the
// milliseconds since the log was opened: "+1532 S:44 41 4C 4C \r\n".
// A write that fails is said once on standard error; the job goes on.
// Called from the job's thread (lines) and the main thread (opening).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/log_view.h"

namespace vexo {

enum class LogTimes { off, on };

// Why path must not be opened as a log, or nullopt: it is one of the files in
// keep (however named: same device and inode), an existing file that is
// neither empty nor a log of ours, or anything but a regular file or
// /dev/null (a pipe or a device).
std::optional<std::string> LogPathRefusal(const std::string& path,
                                          const std::vector<std::string>& keep);

// True for a line a traffic log may begin with.
bool IsLogLine(const std::string& line);

class TrafficLog final : public LogView {
 public:
  explicit TrafficLog(LogTimes times = LogTimes::off, Clock& clock = RealClock());
  ~TrafficLog() override;
  TrafficLog(const TrafficLog&) = delete;
  TrafficLog& operator=(const TrafficLog&) = delete;

  // Creates or empties path; the reason when it cannot.
  std::optional<std::string> Open(const std::string& path);
  // Writes a '#' line (the text gets the prefix and the line end).
  void WriteComment(const std::string& text);

  // LogView: counts what an on-screen box would hold (so the exchange's
  // emptying works as in the window) but keeps every line in the file.
  std::size_t TextLength() override { return length_; }
  void Empty() override { length_ = 0; }
  void AppendLine(const std::string& line) override;

 private:
  void Write(const std::string& text);

  LogTimes times_;
  Clock& clock_;
  std::int64_t start_ms_;
  int fd_ = -1;
  std::string path_;
  bool failed_ = false;
  std::size_t length_ = 0;
};

}  // namespace vexo
