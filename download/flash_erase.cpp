#include "app/text_ids.h"
#include "download/phases.h"
#include "link/hex_text.h"

namespace vexo {
namespace {

constexpr char kEraseCommand[] = "DALL";
constexpr int kEraseLimitMs = 8000;
constexpr char kEraseAck[] = "44";
constexpr int kEraseSettleMs = 350;

}  // namespace

int FlashErase(JobContext& job) {
  job.host.StartBusyIndicator();
  std::string reply;
  if (!job.exchange.ExchangeMessage(TextToHex(kEraseCommand), reply, 1, kEraseLimitMs, "",
                                    ReportFailure::yes)) {
    job.host.SerialPort().Close();
    job.host.StopBusyIndicator();
    return kPhaseFailed;
  }
  if (reply == kEraseAck) {
    job.host.StopBusyIndicator();
    job.clock.SleepMs(kEraseSettleMs);
    return kPhaseOk;
  }
  // The indicator keeps running while the user reads why; the job closes
  // the port.
  ShowText(job.host, text::kEraseRefused);
  job.host.StopBusyIndicator();
  return kPhaseFailed;
}

}  // namespace vexo
