#include "tools/flash/console_host.h"

#include "app/settings.h"
#include "app/text_ids.h"

namespace vexo {

void FileLog::AppendLine(const std::string& line) {
  length_ += line.size();
  if (file_ != nullptr) std::fwrite(line.data(), 1, line.size(), file_);
}

ConsoleHost::ConsoleHost(const ConsoleJob& job, ConsoleOutput& output, LogView& log)
    : job_(job), output_(output), log_(log) {
  if (job_.port_text.find('/') != std::string::npos) port_.SetDevicePath(job_.port_text);
}

void ConsoleHost::ShowStatus(const std::string& text) {
  output_.Phase(text);
}

void ConsoleHost::HideStatus() {
  // The line stays until a message or the next phase replaces it.
}

void ConsoleHost::SetProgressRange(std::int32_t low, std::int32_t high) {
  output_.Range(low, high);
}

void ConsoleHost::SetProgressPosition(std::int32_t position) {
  output_.Position(position);
}

void ConsoleHost::SetJobControls(JobControls state) {
  if (state == JobControls::idle) ClosePortQuietly(port_);
}

void ConsoleHost::StartBusyIndicator() {
  output_.Phase(LookupText(text::kBusyIndicator));
}

void ConsoleHost::StopBusyIndicator() {}

void ConsoleHost::ShowMessage(const std::string& text) {
  output_.Message(text);
}

}  // namespace vexo
