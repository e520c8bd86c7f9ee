// Byte-string checks and conversions for texts read from files written on
// Windows in the GBK (CP936) code page. Stateless; callable from any thread.
// Nothing fails: malformed input yields U+FFFD in the output, never an error.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vexo {

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF). The empty text is valid.
bool IsValidUtf8(std::string_view text);

// The UTF-8 form of GBK text. A byte sequence that is not GBK, including one
// cut off at the end, becomes U+FFFD and decoding resumes at the next byte.
std::string Cp936ToUtf8(std::string_view text);

// The UTF-8 form of text that starts with a UTF-16 byte-order mark (either
// byte order), without the mark; nullopt when there is no mark. Unpaired
// surrogates and a cut-off last unit become U+FFFD.
std::optional<std::string> Utf16WithMarkToUtf8(std::string_view text);

// The longest prefix length of valid UTF-8 text, at most limit bytes, that
// does not split a character.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t limit);

}  // namespace vexo
