// What a correct radio's flash holds after the erase (all 0xFF) and the
// programming of every record of an image (each record's 128 data bytes at
// its address, later records over earlier ones), for every page a read-back
// request can name (16-bit addresses). Read-back compares against this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexo {

inline constexpr int kPageBytes = 256;

class ExpectedFlash {
 public:
  explicit ExpectedFlash(std::string_view image);
  // Hex text of the 256 bytes from address (512 characters).
  std::string PageHex(std::uint16_t address) const;

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace vexo
