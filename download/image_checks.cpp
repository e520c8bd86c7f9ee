#include "download/image_checks.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "download/image_records.h"
#include "download/job_host.h"

namespace vexo {
namespace {

constexpr std::uint64_t kRecordDataBytes = kRecordDataChars / 2;
constexpr std::uint32_t kHighestReadableAddress = 0xFFFF;

bool RecordsOverlap(std::string_view image, int records) {
  std::vector<std::uint64_t> starts(static_cast<std::size_t>(records));
  for (int i = 0; i < records; ++i) starts[static_cast<std::size_t>(i)] = RecordAddress(image, i);
  std::sort(starts.begin(), starts.end());
  for (std::size_t i = 1; i < starts.size(); ++i) {
    if (starts[i] < starts[i - 1] + kRecordDataBytes) return true;
  }
  return false;
}

bool SomeRecordUnreadable(std::string_view image, int records) {
  for (int i = 0; i < records; ++i) {
    if (RecordAddress(image, i) > kHighestReadableAddress) return true;
  }
  return false;
}

}  // namespace

TextId ImageRefusal(std::string_view image, int mode) {
  const int records = RecordCount(image);
  // A file without one whole record would leave an erased, empty radio
  // reported as a success.
  if (records == 0) return text::kFileUnreadable;
  if (RecordsOverlap(image, records)) return text::kRecordsOverlap;
  // The read-back would compare other pages with themselves and call the
  // download verified.
  if (mode == kModeEraseProgramVerify && SomeRecordUnreadable(image, records)) {
    return text::kVerifyUnreachable;
  }
  return 0;
}

}  // namespace vexo
