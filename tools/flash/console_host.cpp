#include "tools/flash/console_host.h"

#include "app/settings.h"
#include "app/text_ids.h"

namespace vexo {

ConsoleHost::ConsoleHost(const ConsoleJob& job, ConsoleOutput& output, LogView& log)
    : job_(job), output_(output), log_(log) {
  if (job_.port_text.find('/') != std::string::npos) port_.SetDevicePath(job_.port_text);
}

void ConsoleHost::ShowStatus(const std::string& text) {
  std::lock_guard lock(output_mutex_);
  output_.Phase(text);
}

void ConsoleHost::HideStatus() {
  // The line stays until a message or the next phase replaces it.
}

void ConsoleHost::SetProgressRange(std::int32_t low, std::int32_t high) {
  std::lock_guard lock(output_mutex_);
  output_.Range(low, high);
}

void ConsoleHost::SetProgressPosition(std::int32_t position) {
  std::lock_guard lock(output_mutex_);
  output_.Position(position);
}

void ConsoleHost::SetJobControls(JobControls state) {
  if (state == JobControls::idle) ClosePortQuietly(port_);
}

void ConsoleHost::StartBusyIndicator() {
  const std::string text = LookupText(text::kBusyIndicator);
  std::lock_guard lock(output_mutex_);
  output_.Phase(text);
}

void ConsoleHost::StopBusyIndicator() {}

void ConsoleHost::ShowMessage(const std::string& text) {
  std::lock_guard lock(output_mutex_);
  if (stopping_) {
    held_back_ = text;
    return;
  }
  output_.Message(text);
}

void ConsoleHost::PhaseStarted(JobPhase phase) {
  if (phase == JobPhase::erase) flash_touched_ = true;
}

void ConsoleHost::Say(const std::string& text) {
  std::lock_guard lock(output_mutex_);
  output_.Message(text);
}

void ConsoleHost::StopJob() {
  {
    std::lock_guard lock(output_mutex_);
    stopping_ = true;
  }
  port_.Abort();
}

std::string ConsoleHost::HeldBackMessage() {
  std::lock_guard lock(output_mutex_);
  return held_back_;
}

}  // namespace vexo
