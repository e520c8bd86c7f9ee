#include "app/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace vexo {

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at text[pos], or 0 when there is none.
std::size_t SequenceLength(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  std::uint32_t smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, smallest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(byte)) return 0;
    code = (code << 6) | (byte & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < smallest || surrogate || code > 0x10FFFF) return 0;
  return length;
}

// glibc knows the Windows code page under both names; older or trimmed
// installations may carry only one of them.
iconv_t OpenGbkDecoder() {
  iconv_t decoder = iconv_open("UTF-8", "CP936");
  if (decoder == reinterpret_cast<iconv_t>(-1)) decoder = iconv_open("UTF-8", "GBK");
  return decoder;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = SequenceLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string Cp936ToUtf8(std::string_view text) {
  std::string out;
  iconv_t decoder = OpenGbkDecoder();
  if (decoder == reinterpret_cast<iconv_t>(-1)) {
    // No decoder at all: keep what is plain ASCII and mark the rest.
    for (char c : text) {
      if (static_cast<unsigned char>(c) < 0x80) {
        out += c;
      } else {
        out += kReplacementCharacter;
      }
    }
    return out;
  }
  char* in = const_cast<char*>(text.data());  // iconv's signature; input is not written
  std::size_t in_left = text.size();
  char buffer[256];
  while (in_left > 0) {
    char* dest = buffer;
    std::size_t dest_left = sizeof buffer;
    const std::size_t result = iconv(decoder, &in, &in_left, &dest, &dest_left);
    out.append(buffer, dest - buffer);
    if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ (not GBK) or EINVAL (cut off at the end): mark one byte and go on.
    out += kReplacementCharacter;
    ++in;
    --in_left;
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(decoder);
  return out;
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t length = limit;
  while (length > 0 && IsContinuation(static_cast<unsigned char>(text[length]))) --length;
  return length;
}

namespace {

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::optional<std::string> Utf16WithMarkToUtf8(std::string_view text) {
  if (text.size() < 2) return std::nullopt;
  const auto b0 = static_cast<unsigned char>(text[0]);
  const auto b1 = static_cast<unsigned char>(text[1]);
  const bool little = b0 == 0xFF && b1 == 0xFE;
  if (!little && !(b0 == 0xFE && b1 == 0xFF)) return std::nullopt;
  auto unit = [&](std::size_t at) -> std::uint32_t {
    const auto lo = static_cast<unsigned char>(text[little ? at : at + 1]);
    const auto hi = static_cast<unsigned char>(text[little ? at + 1 : at]);
    return (static_cast<std::uint32_t>(hi) << 8) | lo;
  };
  std::string out;
  out.reserve(text.size());
  std::size_t at = 2;
  for (; at + 1 < text.size(); at += 2) {
    std::uint32_t code = unit(at);
    if (code >= 0xD800 && code <= 0xDBFF && at + 3 < text.size()) {
      const std::uint32_t low = unit(at + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
        at += 2;
        continue;
      }
    }
    if (code >= 0xD800 && code <= 0xDFFF) {
      out += kReplacementCharacter;
      continue;
    }
    AppendUtf8(out, code);
  }
  if (at < text.size()) out += kReplacementCharacter;
  return out;
}

}  // namespace vexo
