#include "download/expected_flash.h"

#include <algorithm>
#include <cstdlib>

#include "download/image_records.h"
#include "link/hex_text.h"

namespace vexo {
namespace {

constexpr std::size_t kReadableBytes = 0x10000 + kPageBytes;  // last page starts at 0xFFFF
constexpr std::uint8_t kErased = 0xFF;

}  // namespace

ExpectedFlash::ExpectedFlash(std::string_view image) : bytes_(kReadableBytes, kErased) {
  const int records = RecordCount(image);
  std::vector<std::uint8_t> data;
  for (int i = 0; i < records; ++i) {
    std::string address_text(RecordAddressText(image, i));
    unsigned long address = std::strtoul(address_text.c_str(), nullptr, 16);
    if (address >= bytes_.size()) continue;  // beyond every page a request can name
    std::size_t at =
        kHeaderChars + static_cast<std::size_t>(i) * kRecordChars + kRecordAddressChars;
    HexToBytes(image.substr(at, kRecordDataChars), data);
    std::size_t fits = std::min(data.size(), bytes_.size() - address);
    std::copy_n(data.begin(), fits, bytes_.begin() + static_cast<long>(address));
  }
}

std::string ExpectedFlash::PageHex(std::uint16_t address) const {
  return BytesToHex(std::span(bytes_.data() + address, kPageBytes));
}

}  // namespace vexo
