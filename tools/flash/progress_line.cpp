#include "tools/flash/progress_line.h"

#include <algorithm>

namespace vexo {
namespace {

constexpr std::int64_t kRedrawMs = 100;
constexpr std::chrono::seconds kTickPeriod{1};

}  // namespace

std::string FormatDuration(std::int64_t ms) {
  std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

ProgressLine::ProgressLine(std::FILE* out, bool enabled, Clock& clock)
    : out_(out), enabled_(enabled), clock_(clock), phase_start_(clock.NowMs()) {
  if (enabled_) ticker_ = std::thread([this] { TickEverySecond(); });
}

ProgressLine::~ProgressLine() {
  if (!ticker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  ticker_.join();
}

void ProgressLine::TickEverySecond() {
  std::unique_lock lock(mutex_);
  while (!stop_.wait_for(lock, kTickPeriod, [this] { return stopping_; })) {
    // Only a line on screen is kept moving; a finished one stays as it is.
    if (drawn_) DrawLocked(true);
  }
}

void ProgressLine::SetPhase(const std::string& text) {
  std::lock_guard lock(mutex_);
  phase_ = text;
  low_ = 0;
  high_ = -1;
  position_ = -1;
  phase_start_ = clock_.NowMs();
  DrawLocked(true);
}

void ProgressLine::SetRange(std::int32_t low, std::int32_t high) {
  std::lock_guard lock(mutex_);
  low_ = low;
  high_ = high;
  position_ = -1;
  phase_start_ = clock_.NowMs();
  DrawLocked(true);
}

void ProgressLine::SetPosition(std::int32_t position) {
  std::lock_guard lock(mutex_);
  position_ = position;
  DrawLocked(position >= high_);
}

std::string ProgressLine::Text() {
  std::lock_guard lock(mutex_);
  return TextLocked();
}

std::string ProgressLine::TextLocked() {
  std::string text = phase_;
  const std::int64_t elapsed = clock_.NowMs() - phase_start_;
  if (high_ > low_ && position_ >= low_) {
    const std::int64_t total = static_cast<std::int64_t>(high_) - low_;
    const std::int64_t done = std::min<std::int64_t>(position_ - low_, total);
    char figures[96];
    std::snprintf(figures, sizeof figures, " %3lld%%  %lld/%lld records",
                  static_cast<long long>(done * 100 / total), static_cast<long long>(done),
                  static_cast<long long>(total));
    text += figures;
    text += "  " + FormatDuration(elapsed) + " elapsed";
    if (done > 0) text += ", " + FormatDuration(elapsed * (total - done) / done) + " left";
  } else {
    text += "  " + FormatDuration(elapsed);
  }
  return text;
}

void ProgressLine::DrawLocked(bool force) {
  if (!enabled_) return;
  const std::int64_t now = clock_.NowMs();
  if (!force && now - last_draw_ < kRedrawMs) return;
  last_draw_ = now;
  std::string text = TextLocked();
  // Blank out what a longer earlier line left behind.
  std::size_t width = text.size();
  if (width < last_width_) text.append(last_width_ - width, ' ');
  last_width_ = width;
  std::fprintf(out_, "\r%s", text.c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressLine::Finish() {
  std::lock_guard lock(mutex_);
  if (!enabled_ || !drawn_) return;
  DrawLocked(true);
  std::fputc('\n', out_);
  std::fflush(out_);
  drawn_ = false;
  last_width_ = 0;
}

}  // namespace vexo
