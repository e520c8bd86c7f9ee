#include "download/radio_probe.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "download/expected_flash.h"
#include "download/image_records.h"
#include "download/probe_frames.h"

namespace vexo {
namespace {

// Wire time: a start bit, 8 data bits and a stop bit per byte.
constexpr double kBitsPerByte = 10.0;
constexpr int kFastestRate = 115200;
// One programming exchange: the record message out, its echo back.
constexpr int kRecordExchangeBytes = kProgramMessageChars / 2 + kProgramEchoChars / 2;
// One read-back exchange: the 4-byte page request out, the page reply back.
constexpr int kReadRequestBytes = 4;
constexpr int kPageExchangeBytes = kReadRequestBytes + kPageReplyBytes;
constexpr int kExampleRecords = 512;  // 64 KiB

class SilentLog final : public LogView {
 public:
  std::size_t TextLength() override { return 0; }
  void Empty() override {}
  void AppendLine(const std::string&) override {}
};

class SilentMessages final : public MessageHost {
 public:
  void ShowMessage(const std::string&) override {}
};

std::string Seconds(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", ms / 1000.0);
  return text;
}

}  // namespace

std::optional<int> ProbeRadio(FrameExchange& exchange) {
  std::string reply;
  for (const int rate : kProbeRates) {
    if (!exchange.port().SetRate(rate).ok()) continue;
    exchange.port().Input();  // nothing received before now is a reply
    if (exchange.ExchangeMessage(kProbeA, reply, 1, kProbeLimitMs, kProbeAck, ReportFailure::no)) {
      return rate;
    }
  }
  return std::nullopt;
}

CheckLine ProbeCheckLine(const std::string& label, SerialControl& port) {
  const PortStatus opened = port.Open(/*comm_port=*/0, kProbeRates[0]);
  if (!opened.ok()) {
    return {CheckVerdict::problem, label + ": no probe, the port does not open",
            opened.reason.substr(0, opened.reason.find('\n'))};
  }
  SilentLog log;
  SilentMessages messages;
  FrameExchange exchange(port, log, messages, RealClock(), kLogCapPlain);
  exchange.WaitMs(kOpenSettleMs);
  const std::optional<int> rate = ProbeRadio(exchange);
  port.Close();
  if (!rate) {
    return {CheckVerdict::problem, label + ": no radio answered the probe at any probe rate",
            "check that the cable is plugged into the radio and that the radio is switched on in "
            "update mode"};
  }
  return {CheckVerdict::ok,
          label + ": the radio answers the probe at " + std::to_string(*rate) + " baud",
          {}};
}

std::vector<int> CheckedLineRates() {
  std::vector<int> rates;
  for (const LoaderRate& rate : kLoaderRates) rates.push_back(rate.baud);
  std::vector<int> probe_only;
  for (const int rate : kProbeRates) {
    if (std::find(rates.begin(), rates.end(), rate) == rates.end()) probe_only.push_back(rate);
  }
  std::sort(probe_only.begin(), probe_only.end());
  rates.insert(rates.end(), probe_only.begin(), probe_only.end());
  return rates;
}

std::optional<int> FirmwareRecordCount(const std::string& path) {
  std::error_code error;
  if (path.empty() || !std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const auto bytes = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  return RecordCountOfBytes(static_cast<std::int64_t>(bytes));
}

std::string LatencyCostText(int latency_ms, std::optional<int> records) {
  const int count = records.value_or(kExampleRecords);
  // The read-back asks for the page at every programmed address, one request
  // a record (a radio that answers with runs needs fewer).
  const int pages = count;
  const double ms_per_byte = kBitsPerByte * 1000.0 / kFastestRate;
  const double wire_ms = (count * kRecordExchangeBytes + pages * kPageExchangeBytes) * ms_per_byte;
  const int exchanges = count + pages;
  const double slow_ms = wire_ms + static_cast<double>(exchanges) * latency_ms;
  const std::string what = records ? "this firmware (" + std::to_string(count) + " records)"
                                   : std::to_string(kExampleRecords) + " records (64 KiB)";
  return "An E.P.R of " + what + " at " + std::to_string(kFastestRate) + " baud takes up to " +
         Seconds(slow_ms) + " instead of " + Seconds(wire_ms) + ": each of its " +
         std::to_string(exchanges) + " exchanges waits up to " + std::to_string(latency_ms) +
         " ms more for the adapter.";
}

}  // namespace vexo
