#include <string>

#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_ids.h"
#include "download/phases.h"
#include "download/probe_frames.h"
#include "link/hex_text.h"

namespace vexo {
namespace {

constexpr int kStartRate = 9600;
constexpr char kFirmwareCommand[] = "FIRMWAR";
constexpr char kDownloadCommand[] = "DOWNING";
constexpr int kCommandLimitMs = 3000;
constexpr char kAck[] = "06";
constexpr char kDownloadAck[] = "16";
constexpr char kIdentityRequest[] = "02";
constexpr int kIdentityBytes = 8;
constexpr int kIdentityLimitMs = 500;
constexpr char kRateCommand[] = "BPSSET";
constexpr int kRateReplyBytes = 4;
constexpr int kRateLimitMs = 300;
constexpr char kEchoLead[] = "42";
constexpr int kEchoBytes = 129;
constexpr int kEchoLimitMs = 600;
constexpr int kRateSettleMs = 200;
constexpr std::size_t kPortPrefixLength = 3;  // "COM"

std::string RateCodeOf(int baud) {
  for (const LoaderRate& rate : kLoaderRates) {
    if (rate.baud == baud) return rate.code;
  }
  return {};
}

// The port is closed before the message shows, as the user expects the line
// to be free once told of a failure.
int FailClosed(JobContext& job, int shown_text = 0, const std::string& reason = {}) {
  job.host.SerialPort().Close();
  if (shown_text != 0) ShowTextMessage(job.host, shown_text, reason);
  return kPhaseFailed;
}

int PortNumberOf(const std::string& port_text) {
  if (port_text.size() <= kPortPrefixLength) return 0;
  return DecimalValue(port_text.substr(kPortPrefixLength));
}

}  // namespace

int LinkHandshake(JobContext& job, int target_baud) {
  SerialControl& port = job.host.SerialPort();
  FrameExchange& exchange = job.exchange;

  if (port.PortOpen()) {
    port.SetRate(kStartRate);
  } else {
    PortStatus opened = port.Open(PortNumberOf(job.host.PortListText()), kStartRate);
    if (!opened.ok()) {
      ShowTextMessage(job.host, text::kPortOpenFailed, opened.reason);
      return kPhaseFailed;
    }
    exchange.WaitMs(kOpenSettleMs);
  }

  BusyCursorScope busy(&job.host);
  port.Input();  // nothing received before now is a reply

  std::string reply;
  for (const int rate : kProbeRates) {
    port.SetRate(rate);
    if (exchange.ExchangeMessage(kProbeA, reply, 1, kProbeLimitMs, kProbeAck, ReportFailure::no)) {
      exchange.ExchangeMessage(kProbeB, reply, 1, kProbeLimitMs, kProbeAck, ReportFailure::no);
      break;
    }
  }
  port.SetRate(kStartRate);

  if (!exchange.ExchangeMessage(TextToHex(kFirmwareCommand), reply, 1, kCommandLimitMs, kAck,
                                ReportFailure::yes)) {
    return FailClosed(job);
  }
  // A boot loader that does not take DOWNING stays at 9600 and is
  // programmed there.
  if (!exchange.ExchangeMessage(TextToHex(kDownloadCommand), reply, 1, kCommandLimitMs,
                                kDownloadAck, ReportFailure::yes)) {
    job.host.RateInUse(kStartRate, /*downing_declined=*/true);
    return kPhaseOk;
  }
  if (!exchange.ExchangeMessage(kIdentityRequest, reply, kIdentityBytes, kIdentityLimitMs, "",
                                ReportFailure::yes)) {
    return FailClosed(job);
  }
  job.host.IdentityReceived(reply);

  std::string rate_command = TextToHex(kRateCommand + RateCodeOf(target_baud));
  std::string rate_reply = rate_command.substr(0, 6) + rate_command.substr(rate_command.size() - 2);
  if (!exchange.ExchangeMessage(rate_command, reply, kRateReplyBytes, kRateLimitMs, rate_reply,
                                ReportFailure::yes)) {
    return FailClosed(job);
  }

  PortStatus switched = port.SetRate(target_baud);
  if (!switched.ok()) return FailClosed(job, text::kExchangeFailed, switched.reason);
  port.Input();
  job.clock.SleepMs(kRateSettleMs);

  std::string echo = kEchoLead + CountingPattern();
  if (!exchange.ExchangeMessage(echo, reply, kEchoBytes, kEchoLimitMs, "", ReportFailure::yes) ||
      reply != echo) {
    return FailClosed(job, text::kExchangeFailed);
  }
  job.host.RateInUse(target_baud, /*downing_declined=*/false);
  return kPhaseOk;
}

}  // namespace vexo
