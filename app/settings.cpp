#include "app/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/builtin_language.h"
#include "app/ini_file.h"
#include "app/process_state.h"
#include "app/text_codec.h"

namespace vexo {

namespace {

constexpr char kLanguageSection[] = "language";
// Where an installed program keeps its data, relative to its own directory.
constexpr char kInstalledDataDirectory[] = "/../share/vexo/";
constexpr char kReplacementMark[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

std::string InWorkingDirectory(const char* name) {
  const std::string& directory = AppState().WorkingDirectory;
  // Empty when start-up could not determine it: the current directory then.
  if (directory.empty()) return name;
  return directory + "/" + name;
}

// The directory holding the running program, empty when unknown.
std::string ProgramDirectory() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool FilePresent(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

std::string SettingsPath() {
  return InWorkingDirectory(kSettingsFileName);
}

// The installed copies, nearest first: next to the program, then in its data
// directory.
std::vector<std::string> InstalledLanguagePaths() {
  const std::string program_directory = ProgramDirectory();
  if (program_directory.empty()) return {};
  return {program_directory + "/" + kLanguageFileName,
          program_directory + kInstalledDataDirectory + kLanguageFileName};
}

std::string LanguagePath() {
  std::string local = InWorkingDirectory(kLanguageFileName);
  if (FilePresent(local)) return local;
  for (const std::string& candidate : InstalledLanguagePaths()) {
    if (FilePresent(candidate)) return candidate;
  }
  return local;
}

std::string ReadSetting(std::string_view section, std::string_view key) {
  return IniReadValue(SettingsPath(), section, key);
}

IniWriteStatus WriteSetting(std::string_view section, std::string_view key,
                            std::string_view value) {
  return IniWriteValue(SettingsPath(), section, key, value);
}

std::string LookupText(TextId id) {
  const int base = AppState().LanguageBase.load();
  const std::string key = std::to_string(id + base);
  std::vector<std::string> files = {InWorkingDirectory(kLanguageFileName)};
  for (std::string& installed : InstalledLanguagePaths()) {
    if (std::find(files.begin(), files.end(), installed) == files.end()) {
      files.push_back(std::move(installed));
    }
  }
  for (const std::string& file : files) {
    std::string text = IniReadValue(file, kLanguageSection, key);
    if (text.empty()) continue;
    // Language files edited on Chinese Windows systems are stored in GBK.
    if (!IsValidUtf8(text)) text = Cp936ToUtf8(text);
    // Bytes that are no text in either encoding would show as a row of
    // replacement marks: the next source has the real text.
    if (text.find(kReplacementMark) == std::string::npos) return text;
  }
  return BuiltinText(id, base);
}

std::string BuiltinText(TextId id, int language_base) {
  return IniValueInText(BuiltinLanguageText(), kLanguageSection,
                        std::to_string(id + language_base));
}

}  // namespace vexo
