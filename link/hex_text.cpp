#include "link/hex_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/process_state.h"

namespace vexo {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Base-16 reading of one or two characters, as strtoul would read them:
// stops at the first non-digit.
unsigned PairValue(std::string_view pair) {
  unsigned value = 0;
  for (char c : pair) {
    int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return value;
}

}  // namespace

std::string HexOfValue(std::uint32_t value, int width) {
  if (width <= 0) return {};
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", 2 * width, value);
  std::string text(buffer);
  if (text.size() > static_cast<std::size_t>(2 * width)) return {};
  return text;
}

std::string TextToHex(std::string_view text) {
  std::string hex;
  hex.reserve(text.size() * 2);
  for (char c : text) {
    auto byte = static_cast<std::uint8_t>(c);
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}

std::string HexChecksum(std::string_view hex) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    sum = static_cast<std::uint8_t>(sum + PairValue(hex.substr(i, 2)));
  }
  return HexOfValue(sum, 1);
}

std::string SpacedHex(std::string_view hex) {
  std::string spaced;
  spaced.reserve(hex.size() + hex.size() / 2 + 1);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    spaced += hex.substr(i, 2);
    spaced += ' ';
  }
  return spaced;
}

std::string CountingPattern() {
  std::string pattern;
  pattern.reserve(256);
  for (unsigned value = 0; value < 128; ++value) pattern += HexOfValue(value, 1);
  return pattern;
}

std::string RepeatText(std::string_view pattern, int length) {
  if (pattern.empty() || length <= 0) return {};
  std::string text;
  text.reserve(static_cast<std::size_t>(length) + pattern.size());
  while (text.size() < static_cast<std::size_t>(length)) text += pattern;
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string TrimText(std::string_view text) {
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  std::size_t begin = 0;
  while (begin < text.size() && blank(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && blank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  // Without O_NONBLOCK, opening a named pipe waits for a writer for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string ProductName(int /*variant*/) {
  // Build variant 0 is the only one there is.
  return kProductName;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int HexToBytes(std::string_view hex, std::vector<std::uint8_t>& bytes) {
  bytes.resize(hex.size() / 2);
  std::size_t count = 0;
  for (; 2 * count + 1 < hex.size(); ++count) {
    int high = HexDigitValue(hex[2 * count]);
    int low = HexDigitValue(hex[2 * count + 1]);
    if (high < 0 || low < 0) break;
    bytes[count] = static_cast<std::uint8_t>(high * 16 + low);
  }
  bytes.resize(count);
  return static_cast<int>(count);
}

std::size_t HexInto(char* out, std::span<const std::uint8_t> bytes) {
  // One table lookup per byte: both digits at once.
  static const auto kPairs = [] {
    std::array<char, 512> pairs{};
    for (int b = 0; b < 256; ++b) {
      pairs[2 * b] = kHexDigits[b >> 4];
      pairs[2 * b + 1] = kHexDigits[b & 0x0F];
    }
    return pairs;
  }();
  char* at = out;
  for (std::uint8_t byte : bytes) {
    std::memcpy(at, &kPairs[2 * byte], 2);
    at += 2;
  }
  return static_cast<std::size_t>(at - out);
}

void AppendHex(std::string& out, std::span<const std::uint8_t> bytes) {
  std::size_t at = out.size();
  out.resize(at + 2 * bytes.size());
  HexInto(out.data() + at, bytes);
}

std::string BytesToHex(std::span<const std::uint8_t> bytes) {
  std::string hex;
  AppendHex(hex, bytes);
  return hex;
}

}  // namespace vexo
