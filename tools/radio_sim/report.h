// The simulator's record of a run: every message received, reply sent and
// byte ignored, in order, with the rate each was seen at, and at the end the
// flash contents. Written as JSON when the simulator stops; ParseReport reads
// it back for tests and tools. One thread; no I/O here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/radio_sim/sim_protocol.h"

namespace vexo::sim {

// What an event is.
inline constexpr std::string_view kEventMessage = "message";  // kind, bytes, note
inline constexpr std::string_view kEventReply = "reply";      // kind it answers, bytes sent
inline constexpr std::string_view kEventIgnored = "ignored";  // bytes not understood, note why
inline constexpr std::string_view kEventNoise = "noise";      // bytes before noise, note after
inline constexpr std::string_view kEventRate = "rate";        // the loader's new rate
inline constexpr std::string_view kEventSession = "session";  // note: "complete"
inline constexpr std::string_view kEventPort = "port";        // note: "opened", "closed", "hung up"
inline constexpr std::string_view kEventDifference = "difference";  // a replay's: bytes got instead

struct ReportEvent {
  SimTime at{0};
  std::string event;
  std::string kind;  // message kind, where there is one
  int rate = 0;      // the line rate the bytes were seen or sent at
  std::vector<std::uint8_t> bytes;
  std::string note;
};

struct ParsedReport {
  std::vector<ReportEvent> events;
  std::vector<std::uint8_t> flash;
  int final_rate = 0;
  int sessions = 0;

  // The events of one type (and kind, when given), in order.
  std::vector<ReportEvent> Select(std::string_view event, std::string_view kind = {}) const;
};

class Report {
 public:
  void Add(ReportEvent event);
  const std::vector<ReportEvent>& events() const { return events_; }
  // more: further members of the top object, as JSON text ("\"replay\": {...}").
  std::string ToJson(std::span<const std::uint8_t> flash, int final_rate, int sessions,
                     std::string_view more = {}) const;

 private:
  std::vector<ReportEvent> events_;
};

// One event as a line for a person ("12.345 ms  message  program  9600  50...").
std::string DescribeEvent(const ReportEvent& event);

std::optional<ParsedReport> ParseReport(std::string_view json);

// Upper-case hex text of bytes, and back (nullopt on any non-hex pair).
std::string HexOf(std::span<const std::uint8_t> bytes);
std::optional<std::vector<std::uint8_t>> BytesOfHex(std::string_view hex);

}  // namespace vexo::sim
