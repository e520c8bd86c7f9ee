// Hex text: every byte string of the protocol held as two upper-case hex
// digits per byte, no separators. Stateless helpers, callable from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexo {

// Hex text of exactly 2*width characters, or empty when the value needs more.
std::string HexOfValue(std::uint32_t value, int width);
// Hex text of the bytes of text (bytes above 0x7F as their byte value).
std::string TextToHex(std::string_view text);
// Two-character hex text of the 8-bit sum of the bytes of hex text; an odd
// last character is read as a one-digit number.
std::string HexChecksum(std::string_view hex);
// Every pair followed by one blank (a single last character too).
std::string SpacedHex(std::string_view hex);
// Hex text of the bytes 0x00..0x7F: 256 characters.
std::string CountingPattern();
// Exactly length characters of repeated pattern; empty for an empty pattern
// or a length of 0 or below.
std::string RepeatText(std::string_view pattern, int length);
// The text without leading and trailing white space.
std::string TrimText(std::string_view text);
// True when the file can be opened for reading.
bool FileExists(const std::string& path);
// The product name of a build variant.
std::string ProductName(int variant);

// 0..15 for a hex digit (either case), -1 for anything else.
int HexDigitValue(char c);
// Converts pairs up to the first pair holding a non-hex character; returns
// the number of bytes converted (bytes is resized to it).
int HexToBytes(std::string_view hex, std::vector<std::uint8_t>& bytes);
// Appends the upper-case hex text of bytes to out (table driven).
void AppendHex(std::string& out, std::span<const std::uint8_t> bytes);
// Writes the hex text of bytes to out (2 * bytes.size() characters); returns
// the number written.
std::size_t HexInto(char* out, std::span<const std::uint8_t> bytes);
std::string BytesToHex(std::span<const std::uint8_t> bytes);

}  // namespace vexo
