#include "tools/radio_sim/flash_memory.h"

#include <algorithm>

namespace vexo::sim {

void FlashMemory::EraseAll() {
  std::fill(bytes_.begin(), bytes_.end(), kErasedByte);
}

bool FlashMemory::Write(std::uint64_t address, std::span<const std::uint8_t> data) {
  if (address > bytes_.size() || data.size() > bytes_.size() - address) return false;
  std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(address));
  return true;
}

bool FlashMemory::Corrupt(std::uint64_t address, std::uint8_t mask) {
  if (address >= bytes_.size()) return false;
  bytes_[address] ^= mask;
  return true;
}

std::vector<std::uint8_t> FlashMemory::Read(std::uint64_t address, std::size_t length) const {
  std::vector<std::uint8_t> page(length, kOutsideByte);
  for (std::size_t i = 0; i < length && address + i < bytes_.size(); ++i) {
    page[i] = bytes_[address + i];
  }
  return page;
}

bool FlashMemory::PageIsUniform(std::uint64_t address, std::size_t page_bytes,
                                std::uint8_t value) const {
  if (address > bytes_.size() || page_bytes > bytes_.size() - address) return false;
  auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(address);
  return std::all_of(first, first + static_cast<std::ptrdiff_t>(page_bytes),
                     [value](std::uint8_t b) { return b == value; });
}

int FlashMemory::UniformPages(std::uint64_t address, std::size_t page_bytes, int cap,
                              std::uint8_t& value) const {
  if (address >= bytes_.size()) return 0;
  value = bytes_[address];
  int pages = 0;
  while (pages < cap && PageIsUniform(address + page_bytes * pages, page_bytes, value)) ++pages;
  return pages;
}

}  // namespace vexo::sim
