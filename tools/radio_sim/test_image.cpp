#include "tools/radio_sim/test_image.h"

#include <algorithm>
#include <random>
#include <span>
#include <string_view>

#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

namespace {

constexpr std::string_view kHeaderText = "VEXO TEST IMAGE";

bool InFfRun(const ImageLayout& layout, int record) {
  return std::any_of(layout.ff_runs.begin(), layout.ff_runs.end(), [record](const FfRun& run) {
    return record >= run.first && record < run.first + run.count;
  });
}

}  // namespace

std::vector<std::uint8_t> MakeTestImage(const ImageLayout& layout) {
  std::vector<std::uint8_t> image(kImageHeaderBytes, 0x00);
  std::copy(kHeaderText.begin(), kHeaderText.end(), image.begin());
  auto put32 = [&image](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  };
  put32(16, static_cast<std::uint32_t>(std::max(layout.records, 0)));
  put32(20, layout.base);

  std::mt19937 generator(layout.seed);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < layout.records; ++i) {
    std::size_t at = image.size();
    image.resize(at + kImageRecordBytes);
    put32(at,
          layout.base + static_cast<std::uint32_t>(kRecordDataBytes) * static_cast<std::uint32_t>(i));
    bool blank = InFfRun(layout, i);
    for (std::size_t k = 0; k < kRecordDataBytes; ++k) {
      image[at + 4 + k] = blank ? 0xFF : static_cast<std::uint8_t>(byte(generator));
    }
    // The last byte is never sent; the record's sum makes it recognisable.
    std::span<const std::uint8_t> record(image.data() + at, kImageRecordBytes - 1);
    image[at + kImageRecordBytes - 1] = ByteSum(record);
  }
  for (std::size_t i = 0; i < layout.trailing; ++i) {
    image.push_back(static_cast<std::uint8_t>(byte(generator)));
  }
  return image;
}

}  // namespace vexo::sim
