// INI file access with the semantics of the Windows profile functions, over
// SimpleIni: section and key names case-insensitive, values trimmed of
// surrounding blanks, one pair of matching single or double quotes removed,
// values cut to kIniValueLimit bytes, empty text when anything is missing.
// Writes keep every other line of the file (comments, other sections, unknown
// keys) and its line-ending style, and replace the file atomically (temporary
// file in the same directory, fsync, rename). Byte strings pass unchanged.
#pragma once

#include <string>
#include <string_view>

namespace vexo {

inline constexpr std::size_t kIniValueLimit = 511;  // bytes, as a 512-byte buffer allows

std::string IniReadValue(const std::string& path, std::string_view section, std::string_view key);
bool IniWriteValue(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value);

}  // namespace vexo
