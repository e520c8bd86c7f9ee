// The progress line vexo-flash redraws in place on a terminal: phase text,
// percent, records, elapsed and remaining time. The position counts the
// records done (low..high). Drawing is throttled so it costs nothing next to
// an exchange; on a terminal a thread of its own also redraws once a second,
// so the elapsed time moves through a long erase. Not a terminal: draws
// nothing. Callable from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "link/clock.h"

namespace vexo {

class ProgressLine {
 public:
  ProgressLine(std::FILE* out, bool enabled, Clock& clock = RealClock());
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void SetPhase(const std::string& text);
  void SetRange(std::int32_t low, std::int32_t high);
  void SetPosition(std::int32_t position);
  // Ends the line (if one is drawn) so that a message starts on its own.
  void Finish();

  // The line as it would be drawn now (for tests).
  std::string Text();

 private:
  std::string TextLocked();
  void DrawLocked(bool force);
  void TickEverySecond();

  std::FILE* out_;
  bool enabled_;
  Clock& clock_;
  std::string phase_;
  std::int32_t low_ = 0;
  std::int32_t high_ = -1;
  std::int32_t position_ = -1;
  std::int64_t phase_start_;  // the line's birth until a phase begins
  std::int64_t last_draw_ = -1'000'000;
  bool drawn_ = false;
  std::size_t last_width_ = 0;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread ticker_;
};

// "mm:ss", or "h:mm:ss" from an hour on.
std::string FormatDuration(std::int64_t ms);

}  // namespace vexo
