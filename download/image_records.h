// The image as programming reads it: a 36-byte header, then 133-byte records
// (4 address bytes, 128 data bytes, 1 byte never sent). Positions count hex
// characters. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexo {

inline constexpr int kHeaderChars = 72;        // 36 bytes
inline constexpr int kRecordChars = 266;       // 133 bytes
inline constexpr int kRecordAddressChars = 8;  // 4 bytes
inline constexpr int kRecordDataChars = 256;   // 128 bytes
inline constexpr int kProgramMessageChars = 270;
inline constexpr int kProgramEchoChars = 12;  // first 6 bytes of the message
inline constexpr char kProgramLead[] = "50";
inline constexpr char kProgramDataCount[] = "80";

// N = (T - 72) / 266, truncated toward zero; 0 for short images.
int RecordCount(std::string_view image);
// The whole records of an image (or file) of that many bytes.
int RecordCountOfBytes(std::int64_t image_bytes);
// Bytes after the last whole record of an image of that many bytes (a file
// may carry a trailer; it is never sent); 0 when there is no whole record.
std::int64_t TrailingBytes(std::int64_t image_bytes);
// The whole 32-bit address of a record.
std::uint32_t RecordAddress(std::string_view image, int record);
// The lowest and highest address of the image's whole records; nullopt when
// it has none.
struct RecordAddressSpan {
  std::uint32_t lowest = 0;
  std::uint32_t highest = 0;
};
std::optional<RecordAddressSpan> RecordAddressRange(std::string_view image);
// The record's 8 address characters.
std::string_view RecordAddressText(std::string_view image, int record);
// The ProgramMessage for record i: "50" address "80" data checksum.
std::string BuildProgramMessage(std::string_view image, int record);
// Low 16 bits of the address read with a signed 32-bit parse that saturates
// at 0x7FFFFFFF (so 0x80000000 and above give 0xFFFF).
std::uint16_t ProgrammedAddressOf(std::string_view address_text);

}  // namespace vexo
