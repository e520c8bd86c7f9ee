// Firmware files for tests: a 36-byte header and 133-byte records at
// addresses base + step*i (contiguous with the default step of 128), each
// record's data a pattern that differs from record to record (or all 0xFF,
// or one pattern for every record), optionally followed by stray bytes.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace vexo::testing {

inline std::vector<std::uint8_t> MakeImage(int records, std::uint32_t base = 0, int trailing = 0,
                                           bool blank_data = false, std::uint32_t step = 128,
                                           bool same_data = false) {
  std::vector<std::uint8_t> bytes(36, 0xA5);
  for (int i = 0; i < records; ++i) {
    std::uint32_t address = base + step * static_cast<std::uint32_t>(i);
    bytes.push_back(static_cast<std::uint8_t>(address >> 24));
    bytes.push_back(static_cast<std::uint8_t>(address >> 16));
    bytes.push_back(static_cast<std::uint8_t>(address >> 8));
    bytes.push_back(static_cast<std::uint8_t>(address));
    for (int k = 0; k < 128; ++k) {
      bytes.push_back(blank_data ? 0xFF : static_cast<std::uint8_t>((same_data ? 0 : i * 7) + k));
    }
    bytes.push_back(0x5C);  // never sent
  }
  for (int k = 0; k < trailing; ++k) bytes.push_back(0x11);
  return bytes;
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vexo::testing
