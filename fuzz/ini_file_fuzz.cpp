// INI reading and writing on any file content. The input is the file, then
// optionally "\0\0" and the section, key and value of one write separated by
// "\0". Reads never exceed the value limit; a write either is refused and
// leaves the file byte for byte as it was, or reads back as the documented
// rules say, changes no other key and removes nothing but the old value.
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "app/ini_file.h"
#include "app/text_codec.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Write {
  std::string section = "computer";
  std::string key = "com";
  std::string value = "COM3";
};

// Splits the input into the file content and the write it asks for.
std::pair<std::string_view, Write> SplitInput(std::string_view input) {
  Write write;
  const std::size_t marker = input.find(std::string_view("\0\0", 2));
  if (marker == std::string_view::npos) return {input, write};
  std::string_view rest = input.substr(marker + 2);
  std::string* fields[] = {&write.section, &write.key, &write.value};
  for (std::string* field : fields) {
    const std::size_t end = rest.find('\0');
    *field = std::string(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return {input.substr(0, marker), write};
}

// What a reader gets back for a stored value, as ini_file.h documents it.
std::string ReadBackOf(std::string_view value) {
  const std::size_t first = value.find_first_not_of(" \t");
  value = first == std::string_view::npos
              ? std::string_view()
              : value.substr(first, value.find_last_not_of(" \t") - first + 1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  const std::size_t length = vexo::IsValidUtf8(value)
                                 ? vexo::Utf8PrefixLength(value, vexo::kIniValueLimit)
                                 : std::min(value.size(), vexo::kIniValueLimit);
  return std::string(value.substr(0, length));
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

using Name = std::pair<std::string, std::string>;

std::vector<Name> WatchedNames(const Write& write) {
  return {{"computer", "com"},
          {"computer", "bps"},
          {"file", "file_path"},
          {"language", "language"},
          {write.section, "x"},
          {write.section, write.key + "x"},
          {"s", "k"}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [content, write] = SplitInput(vexo::fuzz::AsText(data, size));
  const std::string path = vexo::fuzz::ScratchFile("system.ini");
  vexo::fuzz::WriteBytes(path, content);

  const std::vector<Name> watched = WatchedNames(write);
  std::vector<std::string> before;
  for (const auto& [section, key] : watched) {
    before.push_back(vexo::IniReadValue(path, section, key));
    VEXO_FUZZ_CHECK(before.back().size() <= vexo::kIniValueLimit);
  }
  VEXO_FUZZ_CHECK(vexo::IniReadValue(path, write.section, write.key).size() <=
                  vexo::kIniValueLimit);

  const bool written = vexo::IniWriteValue(path, write.section, write.key, write.value).ok;
  const std::string after = vexo::fuzz::ReadBytes(path);
  if (!written) {
    VEXO_FUZZ_CHECK(after == content);
    return 0;
  }
  VEXO_FUZZ_CHECK(vexo::IniReadValue(path, write.section, write.key) == ReadBackOf(write.value));
  for (std::size_t i = 0; i < watched.size(); ++i) {
    if (SameName(watched[i].first, write.section) && SameName(watched[i].second, write.key)) {
      continue;
    }
    VEXO_FUZZ_CHECK(vexo::IniReadValue(path, watched[i].first, watched[i].second) == before[i]);
  }

  // The old text survives around one edit; what the edit removed lies within
  // one line (the old value).
  std::size_t common_prefix = 0;
  while (common_prefix < content.size() && common_prefix < after.size() &&
         content[common_prefix] == after[common_prefix]) {
    ++common_prefix;
  }
  std::size_t common_suffix = 0;
  while (common_suffix < content.size() - common_prefix &&
         common_suffix < after.size() - common_prefix &&
         content[content.size() - 1 - common_suffix] == after[after.size() - 1 - common_suffix]) {
    ++common_suffix;
  }
  const std::string_view removed =
      content.substr(common_prefix, content.size() - common_prefix - common_suffix);
  VEXO_FUZZ_CHECK(removed.find_first_of("\r\n") == std::string_view::npos);
  return 0;
}
