// INI file access with the semantics of the Windows profile functions, over
// SimpleIni: section and key names case-insensitive, values trimmed of
// surrounding blanks, one pair of matching single or double quotes removed,
// values cut to kIniValueLimit bytes, empty text when anything is missing.
// Writes keep every other line of the file (comments, other sections, unknown
// keys) and its line-ending style, and replace the file atomically (temporary
// file in the same directory, fsync, rename); where the directory takes no new
// file, the file is rewritten in place and flushed. Files saved as UTF-16 with
// a byte-order mark are read as UTF-8. Byte strings pass unchanged.
#pragma once

#include <string>
#include <string_view>

namespace vexo {

inline constexpr std::size_t kIniValueLimit = 511;  // bytes, as a 512-byte buffer allows

// The outcome of a write: reason says why it failed ("<path>: <why>").
struct IniWriteStatus {
  bool ok = true;
  std::string reason;
  explicit operator bool() const { return ok; }
};

std::string IniReadValue(const std::string& path, std::string_view section, std::string_view key);
// The value as IniReadValue finds it in text already read.
std::string IniValueInText(std::string_view text, std::string_view section, std::string_view key);
IniWriteStatus IniWriteValue(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view value);

}  // namespace vexo
