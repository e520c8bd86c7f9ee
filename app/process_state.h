// The process-wide state of VEXO, filled once by RunStartup() on the main
// thread before any other thread exists. Afterwards only LanguageBase and
// ModelIndex change (on the user-interface thread) and are read from the
// download thread, hence atomic. The firmware image and the programmed
// address list live with the download engine (download/).
#pragma once

#include <atomic>
#include <optional>
#include <string>

namespace vexo {

inline constexpr int kBuildVariant = 0;
inline constexpr char kProductName[] = "VEXO";  // the name of build variant 0, the only one
inline constexpr char kVersionNumber[] = "2.20";
inline constexpr char kBuildLetter[] = "a";
inline constexpr char kDiagnosticFileName[] = "isdebug.txt";
inline constexpr std::size_t kWorkingDirectoryLimit = 511;  // bytes

struct ProcessState {
  int BuildVariant = 0;
  std::string VersionText;
  std::string ProductNameText;
  std::string WorkingDirectory;
  bool DiagnosticLog = false;
  std::string SavedPortText;
  std::atomic<int> LanguageBase{0};
  std::atomic<int> ModelIndex{0};
};

ProcessState& AppState();

// Start-up steps: build variant, VersionText, ProductNameText,
// WorkingDirectory (the current directory unless one is given),
// DiagnosticLog, SavedPortText, LanguageBase (the stored one, else the
// locale's), in that order. Returns false
// when the current directory cannot be determined or does not fit
// kWorkingDirectoryLimit; WorkingDirectory is then empty, which makes every
// file path relative to the current directory, and the later steps still run.
bool RunStartup(const std::optional<std::string>& working_directory = std::nullopt);

// C-library decimal conversion (atoi): leading blanks, optional sign,
// leading digits; anything else ends the number; no digits gives 0.
// Saturates instead of overflowing.
int DecimalValue(const std::string& text);

// The language base a stored "language" value selects: 2 -> English.
int LanguageBaseFor(const std::string& stored_value);

// Without a stored language the user's locale decides: the first set of
// LC_ALL, LC_MESSAGES and LANG; Chinese for "zh..." names, English for any
// other (and for none).
std::string UserLocaleName();
int LanguageBaseForLocale(const std::string& locale_name);

}  // namespace vexo
