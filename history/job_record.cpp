#include "history/job_record.h"

#include <ctime>

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <utility>

namespace vexo {
namespace {

constexpr std::array<std::pair<JobResult, std::string_view>, 4> kResultTexts{{
    {JobResult::kInterrupted, "interrupted"},
    {JobResult::kCompleted, "completed"},
    {JobResult::kStopped, "stopped"},
    {JobResult::kFailed, "failed"},
}};
constexpr std::array<std::pair<JobProgram, std::string_view>, 2> kProgramTexts{{
    {JobProgram::kWindow, "window"},
    {JobProgram::kCommandLine, "command-line"},
}};
constexpr std::array<std::pair<JobMode, std::string_view>, 2> kModeTexts{{
    {JobMode::kEraseProgram, "E.P"},
    {JobMode::kEraseProgramVerify, "E.P.R"},
}};

template <typename Enum, std::size_t N>
std::string_view TextOf(const std::array<std::pair<Enum, std::string_view>, N>& table, Enum value) {
  for (const auto& [key, text] : table)
    if (key == value) return text;
  return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> ValueOf(const std::array<std::pair<Enum, std::string_view>, N>& table,
                            std::string_view text) {
  for (const auto& [key, known] : table)
    if (known == text) return key;
  return std::nullopt;
}

}  // namespace

std::string_view JobResultText(JobResult result) {
  return TextOf(kResultTexts, result);
}
std::string_view JobProgramText(JobProgram program) {
  return TextOf(kProgramTexts, program);
}
std::string_view JobModeText(JobMode mode) {
  return TextOf(kModeTexts, mode);
}
std::optional<JobResult> ParseJobResult(std::string_view text) {
  return ValueOf(kResultTexts, text);
}
std::optional<JobProgram> ParseJobProgram(std::string_view text) {
  return ValueOf(kProgramTexts, text);
}
std::optional<JobMode> ParseJobMode(std::string_view text) {
  return ValueOf(kModeTexts, text);
}

std::int64_t NowUtcMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string CurrentUserName() {
  if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_name) return entry->pw_name;
  const char* name = std::getenv("USER");
  return name ? name : "";
}

std::string CurrentHostName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

std::string UtcNowText(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[64];
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

}  // namespace vexo
