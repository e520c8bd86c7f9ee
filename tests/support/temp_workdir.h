// A scratch working directory for tests: made fresh, set as the process's
// WorkingDirectory with a language file whose every text is "T<id>" in
// Chinese and "E<id>" in English, and removed again afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/process_state.h"
#include "app/text_ids.h"

namespace vexo::testing {

class TempWorkdir {
 public:
  explicit TempWorkdir(bool with_language = true) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexo-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    saved_dir_ = AppState().WorkingDirectory;
    saved_base_ = AppState().LanguageBase.load();
    saved_diag_ = AppState().DiagnosticLog;
    AppState().WorkingDirectory = path_;
    AppState().LanguageBase = kLanguageChinese;
    // With no language stored the locale chooses; the tests expect the
    // Chinese texts there, in this process and in the programs it starts.
    if (const char* all = std::getenv("LC_ALL")) saved_lc_all_ = all;
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    if (with_language) {
      std::ofstream out(path_ + "/language.sys");
      out << "[language]\n";
      for (TextId id : kAllTextIds) {
        out << id + kLanguageChinese << "=T" << id << "\n";
        out << id + kLanguageEnglish << "=E" << id << "\n";
      }
    }
  }
  ~TempWorkdir() {
    AppState().WorkingDirectory = saved_dir_;
    AppState().LanguageBase = saved_base_;
    AppState().DiagnosticLog = saved_diag_;
    if (saved_lc_all_) {
      setenv("LC_ALL", saved_lc_all_->c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempWorkdir(const TempWorkdir&) = delete;
  TempWorkdir& operator=(const TempWorkdir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(File(name), std::ios::binary) << content;
  }

 private:
  std::string path_;
  std::string saved_dir_;
  int saved_base_ = 0;
  bool saved_diag_ = false;
  std::optional<std::string> saved_lc_all_;
};

// The text a TempWorkdir's language file holds for id in Chinese.
inline std::string T(TextId id) {
  return "T" + std::to_string(id);
}

}  // namespace vexo::testing
