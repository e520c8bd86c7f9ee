#include "history/safe_text.h"

#include <cstdio>

namespace vexo {
namespace {

constexpr char kFormulaStarts[] = "=+-@\t\r";

// Length of the valid UTF-8 sequence at text[at], or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
  out += escaped;
}

enum class Controls { kKeep, kEscape };

std::string Escaped(std::string_view text, Controls controls) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = Utf8SequenceLength(text, at);
    const bool control =
        (length == 1 && (lead < 0x20 || lead == 0x7F)) ||
        (length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0);
    if (length == 0) {
      AppendEscaped(out, lead);
      ++at;
    } else if (control && controls == Controls::kEscape) {
      for (std::size_t i = 0; i < length; ++i)
        AppendEscaped(out, static_cast<unsigned char>(text[at + i]));
      at += length;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

}  // namespace

std::string Utf8Text(std::string_view text) {
  return Escaped(text, Controls::kKeep);
}

std::string TerminalText(std::string_view text) {
  return Escaped(text, Controls::kEscape);
}

std::string SpreadsheetText(std::string text) {
  if (!text.empty() && std::string_view(kFormulaStarts).find(text[0]) != std::string_view::npos)
    text.insert(0, 1, '\'');
  return text;
}

}  // namespace vexo
