// Firmware images for tests and demonstrations: a 36-byte header and N
// 133-byte records (4-byte address, most significant byte first, 128 data
// bytes, 1 trailing byte) with contiguous addresses base + 128*i, seeded
// pseudo-random data, optional records of all 0xFF and optional trailing
// bytes that form no whole record. Pure function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo::sim {

inline constexpr std::size_t kImageHeaderBytes = 36;
inline constexpr std::size_t kImageRecordBytes = 133;

struct FfRun {
  int first = 0;  // first record of the run
  int count = 0;  // records in it
};

struct ImageLayout {
  int records = 0;
  std::uint32_t base = 0;
  std::vector<FfRun> ff_runs;  // records whose data is all 0xFF
  std::size_t trailing = 0;    // bytes after the last record (fewer than 133)
  std::uint32_t seed = 1;
};

std::vector<std::uint8_t> MakeTestImage(const ImageLayout& layout);

}  // namespace vexo::sim
