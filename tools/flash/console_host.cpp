#include "tools/flash/console_host.h"

#include <utility>

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
  progress_low_ = low;
  progress_high_ = high;
  std::lock_guard lock(output_mutex_);
  output_.Range(low, high);
}

void ConsoleHost::SetProgressPosition(std::int32_t position) {
  std::lock_guard lock(output_mutex_);
  watchers_.ProgressMade(position - progress_low_, progress_high_ - progress_low_);
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

void ConsoleHost::NoteMessageId(TextId id) {
  message_id_ = id;
}

void ConsoleHost::ShowMessage(const std::string& text) {
  std::lock_guard lock(output_mutex_);
  const TextId id = std::exchange(message_id_, 0);
  if (stopping_) {
    held_back_ = {id, text};
    return;
  }
  Show(id, text);
}

void ConsoleHost::Show(TextId id, const std::string& text) {
  watchers_.MessageShown(id, text);
  output_.Message(text);
}

void ConsoleHost::PhaseStarted(JobPhase phase) {
  if (phase == JobPhase::erase) flash_touched_ = true;
  Relay(&JobObserver::PhaseStarted, phase);
}

void ConsoleHost::Say(TextId id) {
  const std::string text = LookupText(id);
  std::lock_guard lock(output_mutex_);
  Show(id, text);
}

void ConsoleHost::SayText(const std::string& text) {
  std::lock_guard lock(output_mutex_);
  Show(0, text);
}

void ConsoleHost::StopJob() {
  {
    std::lock_guard lock(output_mutex_);
    stopping_ = true;
  }
  port_.Abort();
}

bool ConsoleHost::ShowHeldBackMessage() {
  std::lock_guard lock(output_mutex_);
  if (!held_back_) return false;
  Show(held_back_->first, held_back_->second);
  held_back_.reset();
  return true;
}

}  // namespace vexo
