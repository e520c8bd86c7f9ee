#include "app/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

// SimpleIni's template bodies are compiled here only; the rest of the
// program reaches INI files through this wrapper.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "app/text_codec.h"

namespace vexo {

namespace {

// A zero byte counts as a blank: SimpleIni would take it for the end of the
// file and hide every line after it, and such a file could then never be
// written again (no write would read back).
constexpr std::string_view kBlanks(" \t\0", 3);
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Section and key names compare like the Windows profile functions: ASCII
// letters without regard to case, every other byte exactly.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool HasLineBreakOrZero(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// What a reader gets for a stored value: blanks trimmed, one pair of
// matching quotes of either kind removed, cut to the value limit without
// splitting a UTF-8 character.
std::string FinishedValue(std::string_view stored) {
  std::string_view value = TrimBlanks(stored);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  const std::size_t length = IsValidUtf8(value) ? Utf8PrefixLength(value, kIniValueLimit)
                                                : std::min(value.size(), kIniValueLimit);
  return std::string(value.substr(0, length));
}

std::string ValueInText(const std::string& text, std::string_view section, std::string_view key) {
  if (section.empty() || key.empty()) return {};
  CSimpleIniA ini;          // ASCII case-insensitive names
  ini.SetMultiKey(true);    // keep repeated keys, so that the first one is found
  ini.SetMultiLine(false);  // "<<<TAG" is an ordinary value
  ini.SetQuotes(false);     // quotes of both kinds are removed once, by FinishedValue
  std::string visible = text;
  std::replace(visible.begin(), visible.end(), '\0', ' ');
  if (ini.LoadData(visible) < 0) return {};
  const char* stored =
      ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
  return stored ? FinishedValue(stored) : std::string();
}

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string& path, std::string& text) {
  text.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return ReadResult::kFailed;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return ReadResult::kRead;
}

// --- Editing: one line changes or is added, every other byte stays. ---------

struct Line {
  std::string_view content;
  std::string_view ending;  // "\r\n", "\n", "\r" or empty for a last line without one
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.push_back({text.substr(pos), {}});
      break;
    }
    const std::size_t ending_length =
        (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
    lines.push_back({text.substr(pos, end - pos), text.substr(end, ending_length)});
    pos = end + ending_length;
  }
  return lines;
}

enum class LineKind { kBlank, kComment, kSection, kKey, kText };

struct ParsedLine {
  LineKind kind = LineKind::kBlank;
  std::optional<std::string_view> name;  // a section header without ']' names nothing
  std::size_t value_pos = 0;             // kKey: where the value starts in the line
};

// Classifies a line the way SimpleIni's parser does, so that the line edited
// here is the one the reader finds.
ParsedLine ParseLine(std::string_view content) {
  const std::size_t start = content.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return {};
  const char first = content[start];
  if (first == ';' || first == '#') return {LineKind::kComment, std::nullopt, 0};
  if (first == '[') {
    const std::size_t close = content.find(']', start);
    if (close == std::string_view::npos) return {LineKind::kSection, std::nullopt, 0};
    return {LineKind::kSection, TrimBlanks(content.substr(start + 1, close - start - 1)), 0};
  }
  const std::size_t equals = content.find('=', start);
  if (equals == std::string_view::npos || equals == start)
    return {LineKind::kText, std::nullopt, 0};
  const std::string_view name = TrimBlanks(content.substr(start, equals - start));
  std::size_t value_pos = content.find_first_not_of(kBlanks, equals + 1);
  if (value_pos == std::string_view::npos) value_pos = content.size();
  return {LineKind::kKey, name, value_pos};
}

std::string EditedText(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value) {
  const std::vector<Line> lines = SplitLines(text);
  std::string_view eol = "\n";  // a new file, or one of a single unended line
  for (const Line& line : lines) {
    if (!line.ending.empty()) {
      eol = line.ending;
      break;
    }
  }
  const std::string new_line = std::string(key) + "=" + std::string(value);

  bool in_section = false;
  bool in_first_section = false;
  bool seen_section = false;
  std::optional<std::size_t> insert_after;  // last line of the first matching section's body
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view content = lines[i].content;
    const std::size_t mark = (i == 0 && content.starts_with(kUtf8Mark)) ? kUtf8Mark.size() : 0;
    const ParsedLine parsed = ParseLine(content.substr(mark));
    if (parsed.kind == LineKind::kSection) {
      in_section = parsed.name && SameName(*parsed.name, section);
      in_first_section = in_section && !seen_section;
      if (in_first_section) insert_after = i;
      seen_section = seen_section || in_section;
      continue;
    }
    if (parsed.kind == LineKind::kKey && in_section && SameName(*parsed.name, key)) {
      std::string out(text.substr(0, content.data() - text.data()));
      out.append(content.substr(0, mark + parsed.value_pos));
      out.append(value);
      out.append(text.substr(content.data() + content.size() - text.data()));
      return out;
    }
    if (in_first_section && (parsed.kind == LineKind::kKey || parsed.kind == LineKind::kText)) {
      insert_after = i;
    }
  }

  std::string out;
  if (insert_after) {
    const Line& line = lines[*insert_after];
    const std::size_t split = line.content.data() + line.content.size() - text.data();
    out.append(text.substr(0, split));
    out.append(line.ending.empty() ? eol : line.ending);
    out.append(new_line).append(eol);
    out.append(text.substr(split + line.ending.size()));
    return out;
  }
  out.append(text);
  if (!lines.empty() && lines.back().ending.empty()) out.append(eol);
  out.append("[").append(section).append("]").append(eol);
  out.append(new_line).append(eol);
  return out;
}

// --- Saving: the old file or the new one, never a part of either. ----------

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // makes the rename durable; the data are safe either way
  close(fd);
}

std::string Reason(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

// Where the directory takes no new file (a shared folder the user may not
// write in, holding a settings file the user may write), the file itself is
// rewritten and flushed: not crash-safe, but saved.
IniWriteStatus RewriteInPlace(const std::string& target, std::string_view data) {
  const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {false, Reason(target, errno)};
  const bool written =
      WriteAll(fd, data) && ftruncate(fd, static_cast<off_t>(data.size())) == 0 && fsync(fd) == 0;
  const int error = errno;
  const bool closed = close(fd) == 0;
  if (!written || !closed) return {false, Reason(target, written ? errno : error)};
  return {};
}

IniWriteStatus ReplaceFile(const std::string& path, std::string_view data) {
  // A settings file kept behind a symbolic link stays a link: its target is replaced.
  std::string target = path;
  struct stat link_info {};
  if (lstat(path.c_str(), &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
      return {false, path + ": a symbolic link whose target cannot be reached (" +
                         std::strerror(errno) + ")"};
    }
    target = resolved;
    free(resolved);
  }
  const std::size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

  struct stat old_info {};
  const bool existed = stat(target.c_str(), &old_info) == 0;
  const mode_t mode = existed ? (old_info.st_mode & 07777) : 0666;
  // Renaming over it would succeed, but a file marked read-only, or one this
  // process may not write, is the user's to keep as it is (root included).
  if (existed && ((mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)) {
    return {false, target + ": the file is read-only"};
  }

  static std::atomic<unsigned> counter{0};
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = directory + "." + base + ".tmp." + std::to_string(getpid()) + "." +
                std::to_string(counter++);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) {
      const int error = errno;
      const bool no_new_file = error == EACCES || error == EPERM || error == EROFS;
      if (existed && no_new_file && error != EROFS) return RewriteInPlace(target, data);
      return {false, Reason(existed ? target : directory, error)};
    }
  }
  if (fd < 0) return {false, Reason(directory, EEXIST)};
  if (existed) {
    // The umask may have cut bits of the old mode; owner and group are kept
    // where this process may set them.
    (void)fchmod(fd, mode);
    (void)fchown(fd, old_info.st_uid, old_info.st_gid);
  }
  const bool written = WriteAll(fd, data) && fsync(fd) == 0;
  int error = errno;
  const bool closed = close(fd) == 0;
  if (written && !closed) error = errno;
  if (!written || !closed || rename(temporary.c_str(), target.c_str()) != 0) {
    if (written && closed) error = errno;
    unlink(temporary.c_str());
    return {false, Reason(target, error)};
  }
  SyncDirectory(directory);
  return {};
}

}  // namespace

std::string IniValueInText(std::string_view text, std::string_view section, std::string_view key) {
  // Windows editors save "Unicode" text as UTF-16 with a byte-order mark.
  if (std::optional<std::string> wide = Utf16WithMarkToUtf8(text)) {
    return ValueInText(*wide, section, key);
  }
  return ValueInText(std::string(text), section, key);
}

std::string IniReadValue(const std::string& path, std::string_view section, std::string_view key) {
  std::string text;
  if (ReadWholeFile(path, text) != ReadResult::kRead) return {};
  return IniValueInText(text, section, key);
}

IniWriteStatus IniWriteValue(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view value) {
  if (section.empty() || key.empty() || HasLineBreakOrZero(section) || HasLineBreakOrZero(key) ||
      HasLineBreakOrZero(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos) {
    return {false, "not a name or value an INI file can hold"};
  }
  std::string text;
  // A file that exists but cannot be read is left alone rather than replaced.
  if (ReadWholeFile(path, text) == ReadResult::kFailed) return {false, Reason(path, errno)};
  // An edit by lines would break the two-byte text.
  if (Utf16WithMarkToUtf8(text)) return {false, path + ": saved as UTF-16, which is kept as it is"};
  const std::string edited = EditedText(text, section, key, value);
  // Names such as "#x" or " [x" would turn into comments or headers; such a
  // write is refused rather than stored where no reader finds it.
  if (ValueInText(edited, section, key) != FinishedValue(value)) {
    return {false, "not a name or value an INI file can hold"};
  }
  return ReplaceFile(path, edited);
}

}  // namespace vexo
