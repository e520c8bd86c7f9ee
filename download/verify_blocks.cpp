#include <cstdlib>

#include "app/settings.h"
#include "app/text_ids.h"
#include "download/expected_flash.h"
#include "download/phases.h"
#include "download/programmed_addresses.h"
#include "link/hex_text.h"

namespace vexo {
namespace {

constexpr char kReadLead[] = "52";
constexpr char kReadTail[] = "FF";
constexpr int kReadLimitMs = 1500;
constexpr std::size_t kRunReplyChars = 12;
constexpr std::size_t kRunLengthAt = 6;
constexpr std::size_t kRunValueAt = 8;
constexpr std::size_t kPageDataAt = 8;
constexpr int kPageChars = 2 * kPageBytes;

int Fail(JobContext& job, int result, int text_id) {
  if (result == kPhaseFailed) job.host.SerialPort().Close();
  if (text_id != 0) ShowText(job.host, text_id);
  job.host.HideStatus();
  return result;
}

// The flash address of the first byte where two pages of hex text differ.
std::uint32_t FirstDifference(std::uint32_t page, const std::string& got,
                              const std::string& expected) {
  std::size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  return page + static_cast<std::uint32_t>(at / 2);
}

bool ChecksumHolds(const std::string& reply) {
  std::string_view body(reply.data(), reply.size() - 2);
  return HexChecksum(body) == reply.substr(reply.size() - 2);
}

}  // namespace

int VerifyBlocks(JobContext& job, const std::string& image) {
  job.host.ShowStatus(LookupText(text::kStatusVerifying));
  const std::vector<std::uint16_t>& entries = ProgrammedAddresses();
  const std::size_t count = entries.size();
  // The position counts the pages read back and found equal.
  job.host.SetProgressRange(0, static_cast<std::int32_t>(count));
  const ExpectedFlash expected(image);

  std::string reply;
  std::size_t i = 0;
  // The host hears how far the comparison got, however the phase ends.
  const auto told = [&](int result, std::optional<std::uint32_t> difference = std::nullopt) {
    job.host.ReadBackChecked(static_cast<int>(i), difference);
    return result;
  };
  while (i < count) {
    job.host.SetProgressPosition(static_cast<std::int32_t>(i));
    std::string request = kReadLead + HexOfValue(entries[i], 2) + kReadTail;
    if (!job.exchange.ExchangeBlock(request, reply, kReadLimitMs)) {
      return told(Fail(job, kPhaseFailed, 0));
    }
    if (!ChecksumHolds(reply)) return told(Fail(job, kPhaseBadChecksum, text::kReadBackChecksum));

    if (reply.size() != kRunReplyChars) {
      const std::string page = expected.PageHex(entries[i]);
      if (reply.compare(kPageDataAt, kPageChars, page) != 0) {
        const std::uint32_t at = FirstDifference(entries[i], reply.substr(kPageDataAt), page);
        return told(Fail(job, kPhaseFlashDiffers, text::kFlashDiffers), at);
      }
      ++i;
      continue;
    }

    // A run of L pages, all holding V, from the requested address.
    const long run = std::strtol(reply.substr(kRunLengthAt, 2).c_str(), nullptr, 16);
    // A run of no pages covers nothing; taking it would ask for the same
    // page for ever.
    if (run == 0) return told(Fail(job, kPhaseFailed, text::kExchangeFailed));
    const std::string value_page = RepeatText(reply.substr(kRunValueAt, 2), kPageChars);
    const long run_start = entries[i];
    const long run_end = run_start + run * kPageBytes;
    std::size_t covered = 0;
    for (long k = 0; k < run && i + covered < count; ++k) {
      const long page = entries[i + covered];
      // An entry outside the run is not vouched for by it: ask for it alone.
      if (page < run_start || page + kPageBytes > run_end) break;
      const std::string expected_page = expected.PageHex(entries[i + covered]);
      if (expected_page != value_page) {
        i += covered;
        const std::uint32_t at = FirstDifference(entries[i], value_page, expected_page);
        return told(Fail(job, kPhaseFlashDiffers, text::kFlashDiffers), at);
      }
      ++covered;
    }
    i += covered;
  }
  job.host.SetProgressPosition(static_cast<std::int32_t>(count));
  return told(kPhaseOk);
}

}  // namespace vexo
