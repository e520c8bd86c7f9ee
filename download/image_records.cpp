#include "download/image_records.h"

#include <algorithm>
#include <cstdlib>

#include "link/hex_text.h"

namespace vexo {

namespace {

constexpr std::int64_t kHeaderBytes = kHeaderChars / 2;
constexpr std::int64_t kRecordBytes = kRecordChars / 2;

}  // namespace

int RecordCount(std::string_view image) {
  return RecordCountOfBytes(static_cast<std::int64_t>(image.size() / 2));
}

int RecordCountOfBytes(std::int64_t image_bytes) {
  if (image_bytes < kHeaderBytes + kRecordBytes) return 0;
  return static_cast<int>((image_bytes - kHeaderBytes) / kRecordBytes);
}

std::int64_t TrailingBytes(std::int64_t image_bytes) {
  if (image_bytes < kHeaderBytes + kRecordBytes) return 0;
  return (image_bytes - kHeaderBytes) % kRecordBytes;
}

std::uint32_t RecordAddress(std::string_view image, int record) {
  const std::string digits(RecordAddressText(image, record));
  return static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
}

std::optional<RecordAddressSpan> RecordAddressRange(std::string_view image) {
  const int records = RecordCount(image);
  if (records == 0) return std::nullopt;
  RecordAddressSpan span{RecordAddress(image, 0), RecordAddress(image, 0)};
  for (int i = 1; i < records; ++i) {
    const std::uint32_t address = RecordAddress(image, i);
    span.lowest = std::min(span.lowest, address);
    span.highest = std::max(span.highest, address);
  }
  return span;
}

std::string_view RecordAddressText(std::string_view image, int record) {
  return image.substr(kHeaderChars + static_cast<std::size_t>(record) * kRecordChars,
                      kRecordAddressChars);
}

std::string BuildProgramMessage(std::string_view image, int record) {
  std::string_view text =
      image.substr(kHeaderChars + static_cast<std::size_t>(record) * kRecordChars, kRecordChars);
  std::string message;
  message.reserve(kProgramMessageChars);
  message += kProgramLead;
  message += text.substr(0, kRecordAddressChars);
  message += kProgramDataCount;
  message += text.substr(kRecordAddressChars, kRecordDataChars);
  message += HexChecksum(message);
  return message;
}

std::uint16_t ProgrammedAddressOf(std::string_view address_text) {
  // A signed 32-bit parse that saturates: every address of 0x80000000 or
  // more is recorded as 0x7FFFFFFF, whose low 16 bits are 0xFFFF.
  std::string digits(address_text);
  long long value = std::strtoll(digits.c_str(), nullptr, 16);
  if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
  if (value < 0) value = 0;
  return static_cast<std::uint16_t>(value & 0xFFFF);
}

}  // namespace vexo
