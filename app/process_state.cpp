#include "app/process_state.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "app/settings.h"

namespace vexo {

namespace {

// Builds whose version ends in this letter honour the diagnostic file.
constexpr char kDiagnosticBuildLetter = 'a';

std::string ProductNameOf(int build_variant) {
  (void)build_variant;  // variant 0 is the only one there is
  return kProductName;
}

std::optional<std::string> CurrentDirectory() {
  std::string buffer(PATH_MAX, '\0');
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return std::nullopt;
  buffer.resize(buffer.find('\0'));
  return buffer;
}

// True when the file can be opened for reading; its contents do not matter.
bool CanOpenForReading(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace

ProcessState& AppState() {
  static ProcessState state;
  return state;
}

bool RunStartup(const std::optional<std::string>& working_directory) {
  ProcessState& state = AppState();
  state.BuildVariant = kBuildVariant;
  state.VersionText = std::string(kVersionNumber) + kBuildLetter;
  state.ProductNameText = ProductNameOf(state.BuildVariant);

  const std::optional<std::string> directory =
      working_directory ? working_directory : CurrentDirectory();
  const bool directory_fits = directory && directory->size() <= kWorkingDirectoryLimit;
  state.WorkingDirectory = directory_fits ? *directory : std::string();

  const std::string diagnostic_path = state.WorkingDirectory.empty()
                                          ? std::string(kDiagnosticFileName)
                                          : state.WorkingDirectory + "/" + kDiagnosticFileName;
  state.DiagnosticLog =
      state.VersionText.ends_with(kDiagnosticBuildLetter) && CanOpenForReading(diagnostic_path);
  state.SavedPortText = ReadSetting(setting::kComputer, setting::kPort);
  const std::string stored_language = ReadSetting(setting::kLanguage, setting::kLanguage);
  state.LanguageBase = stored_language.empty() ? LanguageBaseForLocale(UserLocaleName())
                                               : LanguageBaseFor(stored_language);
  return directory_fits;
}

int DecimalValue(const std::string& text) {
  std::size_t pos = text.find_first_not_of(" \t\n\v\f\r");
  if (pos == std::string::npos) return 0;
  bool negative = false;
  if (text[pos] == '+' || text[pos] == '-') {
    negative = text[pos] == '-';
    ++pos;
  }
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = std::min(limit, value * 10 + (text[pos] - '0'));
  }
  return static_cast<int>(negative ? -value : value);
}

int LanguageBaseFor(const std::string& stored_value) {
  return DecimalValue(stored_value) == 2 ? kLanguageEnglish : kLanguageChinese;
}

std::string UserLocaleName() {
  // The C library's order: LC_ALL overrides LC_MESSAGES, which overrides LANG.
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

int LanguageBaseForLocale(const std::string& locale_name) {
  return locale_name.starts_with("zh") ? kLanguageChinese : kLanguageEnglish;
}

}  // namespace vexo
