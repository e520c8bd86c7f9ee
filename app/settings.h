// system.ini and language.sys in the working directory, read and written
// with Windows INI semantics (see ini_file.h). Nothing is cached: every call
// goes to the file. Callable from any thread; failures are return values.
#pragma once

#include <string>
#include <string_view>

#include "app/ini_file.h"
#include "app/text_ids.h"

namespace vexo {

inline constexpr char kSettingsFileName[] = "system.ini";
inline constexpr char kLanguageFileName[] = "language.sys";

// Sections and keys of system.ini.
namespace setting {
inline constexpr char kComputer[] = "computer";
inline constexpr char kPort[] = "com";
inline constexpr char kBaud[] = "bps";
inline constexpr char kRadioType[] = "radio_type";
inline constexpr char kFile[] = "file";
inline constexpr char kFilePath[] = "file_path";
inline constexpr char kMcuVersion[] = "mcu_ver";
inline constexpr char kLanguage[] = "language";  // section and key
inline constexpr char kPorts[] = "ports";        // comN=/dev/... overrides
}  // namespace setting

std::string SettingsPath();  // WorkingDirectory + "/system.ini"; just the name when it is empty

// The language file in use: WorkingDirectory's copy when it exists, else the
// copy installed next to the program or in its data directory.
std::string LanguagePath();

std::string ReadSetting(std::string_view section, std::string_view key);
// reason names the file and why, when the value could not be saved.
IniWriteStatus WriteSetting(std::string_view section, std::string_view key, std::string_view value);

// The text for id in the current language (LanguageBase), UTF-8, never empty
// for an id of kAllTextIds: the language file in the working directory first,
// then the installed one, then the copy of the shipped texts built into the
// program, each for an id the one before lacks or cannot decode. Values that
// are not UTF-8 are decoded as GBK (CP936); files saved as UTF-16 are read.
std::string LookupText(TextId id);

// The shipped text for id in the language of language_base, empty when the
// shipped file has none.
std::string BuiltinText(TextId id, int language_base);

}  // namespace vexo
