// The log box every exchange writes its "S:"/"R:" lines into. Implemented by
// each host (window, command line, tests); called from the download thread.
#pragma once

#include <cstddef>
#include <string>

namespace vexo {

class LogView {
 public:
  virtual ~LogView() = default;
  virtual std::size_t TextLength() = 0;
  virtual void Empty() = 0;
  // Appends line at the end of the text (caret to the end, scrolled into view).
  virtual void AppendLine(const std::string& line) = 0;
};

// The AppendLogLine operation of the exchange.
inline void AppendLogLine(LogView& log, const std::string& line) { log.AppendLine(line); }

}  // namespace vexo
