// Helpers shared by the app tests: a scratch directory removed on exit, whole
// file read/write, and a guard that points the process-wide state at a
// directory and restores it (and the current directory) afterwards.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/process_state.h"
#include "app/text_ids.h"

namespace vexo::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexo-app-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets WorkingDirectory and LanguageBase for one test and puts back what was
// there before, together with the current directory.
class StateGuard {
 public:
  explicit StateGuard(const std::string& working_directory, int language_base = kLanguageChinese)
      : saved_directory_(AppState().WorkingDirectory),
        saved_base_(AppState().LanguageBase.load()),
        saved_cwd_(std::filesystem::current_path()) {
    AppState().WorkingDirectory = working_directory;
    AppState().LanguageBase = language_base;
  }
  ~StateGuard() {
    AppState().WorkingDirectory = saved_directory_;
    AppState().LanguageBase = saved_base_;
    std::error_code ignored;
    std::filesystem::current_path(saved_cwd_, ignored);
  }
  StateGuard(const StateGuard&) = delete;
  StateGuard& operator=(const StateGuard&) = delete;

 private:
  std::string saved_directory_;
  int saved_base_;
  std::filesystem::path saved_cwd_;
};

}  // namespace vexo::testing
