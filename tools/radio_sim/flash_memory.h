// The loader's flash: a byte array that starts as 0x00 (never erased), is
// filled with 0xFF by an erase and written record by record. Reads past the
// end give 0xFF, as from an unprogrammed, unmapped area. One thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vexo::sim {

inline constexpr std::uint8_t kErasedByte = 0xFF;
inline constexpr std::uint8_t kOutsideByte = 0xFF;  // what reads past the end give

class FlashMemory {
 public:
  explicit FlashMemory(std::size_t size) : bytes_(size, 0x00) {}

  std::size_t size() const { return bytes_.size(); }
  std::span<const std::uint8_t> bytes() const { return bytes_; }

  void EraseAll();
  // Writes data at address; false (nothing written) when it does not fit.
  bool Write(std::uint64_t address, std::span<const std::uint8_t> data);
  // Flips the given bits of one byte; false outside the flash.
  bool Corrupt(std::uint64_t address, std::uint8_t mask);
  // The page of `length` bytes at address; bytes past the end read as 0xFF.
  std::vector<std::uint8_t> Read(std::uint64_t address, std::size_t length) const;
  // How many consecutive pages of page_bytes, from address on and wholly
  // inside the flash, hold one value (at most cap); 0 when the first page is
  // not uniform or not wholly inside. value receives that byte.
  int UniformPages(std::uint64_t address, std::size_t page_bytes, int cap,
                   std::uint8_t& value) const;

 private:
  bool PageIsUniform(std::uint64_t address, std::size_t page_bytes, std::uint8_t value) const;

  std::vector<std::uint8_t> bytes_;
};

}  // namespace vexo::sim
