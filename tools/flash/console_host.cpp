#include "tools/flash/console_host.h"

#include "app/settings.h"
#include "app/text_ids.h"

namespace vexo {

void FileLog::AppendLine(const std::string& line) {
  length_ += line.size();
  if (file_ != nullptr) std::fwrite(line.data(), 1, line.size(), file_);
}

ConsoleHost::ConsoleHost(const ConsoleJob& job, std::FILE* messages, bool progress_on, LogView& log)
    : job_(job), messages_(messages), log_(log), progress_(messages, progress_on) {
  if (job_.port_text.find('/') != std::string::npos) port_.SetDevicePath(job_.port_text);
}

void ConsoleHost::ShowStatus(const std::string& text) {
  status_ = text;
  progress_.SetPhase(text);
}

void ConsoleHost::HideStatus() {
  // The line stays until a message or the next phase replaces it.
}

void ConsoleHost::SetProgressRange(std::int32_t low, std::int32_t high) {
  progress_.SetRange(low, high);
}

void ConsoleHost::SetProgressPosition(std::int32_t position) {
  progress_.SetPosition(position);
}

void ConsoleHost::SetJobControls(JobControls state) {
  if (state == JobControls::idle) ClosePortQuietly(port_);
}

void ConsoleHost::StartBusyIndicator() {
  progress_.SetPhase(LookupText(text::kBusyIndicator));
}

void ConsoleHost::StopBusyIndicator() {}

void ConsoleHost::ShowMessage(const std::string& text) {
  progress_.Finish();
  std::fprintf(messages_, "%s\n", text.c_str());
  std::fflush(messages_);
}

}  // namespace vexo
