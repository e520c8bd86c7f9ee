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
  // The position counts the records the radio has echoed, so the bar is full
  // only once the last one has arrived.
  job.host.SetProgressRange(0, records);
  job.host.SetProgressPosition(0);
  std::string reply;
  for (int i = 0; i < records; ++i) {
    addresses.push_back(ProgrammedAddressOf(RecordAddressText(image, i)));
    std::string message = BuildProgramMessage(image, i);
    std::string echo = message.substr(0, kProgramEchoChars);
    if (!job.exchange.ExchangeMessage(message, reply, kEchoBytes, kProgramLimitMs, echo,
                                      ReportFailure::yes)) {
      job.host.SerialPort().Close();
      job.host.HideStatus();
      return kPhaseFailed;
    }
    job.host.SetProgressPosition(i + 1);
  }
  job.host.HideStatus();
  return kPhaseOk;
}

}  // namespace vexo
