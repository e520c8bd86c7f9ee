#include "app/settings.h"
#include "app/text_ids.h"
#include "download/image_records.h"
#include "download/phases.h"
#include "download/programmed_addresses.h"

namespace vexo {
namespace {

constexpr int kEchoBytes = 6;
constexpr int kProgramLimitMs = 1500;

}  // namespace

int ProgramBlocks(JobContext& job, const std::string& image) {
  std::vector<std::uint16_t>& addresses = ProgrammedAddresses();
  addresses.clear();
  job.host.ShowStatus(LookupText(text::kStatusProgramming));

  const int records = RecordCount(image);
  job.host.SetProgressRange(0, records - 1);
  std::string reply;
  for (int i = 0; i < records; ++i) {
    // The bar moves as a record goes out, so it ends when the last is sent.
    job.host.SetProgressPosition(i);
    addresses.push_back(ProgrammedAddressOf(RecordAddressText(image, i)));
    std::string message = BuildProgramMessage(image, i);
    std::string echo = message.substr(0, kProgramEchoChars);
    if (!job.exchange.ExchangeMessage(message, reply, kEchoBytes, kProgramLimitMs, echo,
                                      ReportFailure::yes)) {
      job.host.SerialPort().SetPortOpen(false);
      job.host.HideStatus();
      return kPhaseFailed;
    }
  }
  job.host.HideStatus();
  return kPhaseOk;
}

}  // namespace vexo
