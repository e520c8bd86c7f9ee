#include "app/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/ini_file.h"
#include "app/process_state.h"
#include "app/text_codec.h"

namespace vexo {

namespace {

constexpr char kLanguageSection[] = "language";
// Where an installed program keeps its data, relative to its own directory.
constexpr char kInstalledDataDirectory[] = "/../share/vexo/";

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

std::string LanguagePath() {
  std::string local = InWorkingDirectory(kLanguageFileName);
  if (FilePresent(local)) return local;
  const std::string program_directory = ProgramDirectory();
  if (!program_directory.empty()) {
    for (const std::string& candidate :
         {program_directory + "/" + kLanguageFileName,
          program_directory + kInstalledDataDirectory + kLanguageFileName}) {
      if (FilePresent(candidate)) return candidate;
    }
  }
  return local;
}

std::string ReadSetting(std::string_view section, std::string_view key) {
  return IniReadValue(SettingsPath(), section, key);
}

bool WriteSetting(std::string_view section, std::string_view key, std::string_view value) {
  return IniWriteValue(SettingsPath(), section, key, value);
}

std::string LookupText(TextId id) {
  const std::string key = std::to_string(id + AppState().LanguageBase.load());
  std::string text = IniReadValue(LanguagePath(), kLanguageSection, key);
  // Language files edited on Chinese Windows systems are stored in GBK.
  if (!IsValidUtf8(text)) text = Cp936ToUtf8(text);
  return text;
}

}  // namespace vexo
