#include "tools/radio_sim/report.h"

#include <algorithm>
#include <cstdio>

#include "tools/radio_sim/json.h"

namespace vexo::sim {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string TextOf(const nlohmann::json* v) {
  return v && v->is_string() ? v->get<std::string>() : std::string();
}

long long NumberOf(const nlohmann::json* v) {
  return v && v->is_number() ? v->get<long long>() : 0;
}

}  // namespace

std::string HexOf(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> BytesOfHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int high = DigitValue(hex[i]);
    int low = DigitValue(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return out;
}

std::vector<ReportEvent> ParsedReport::Select(std::string_view event, std::string_view kind) const {
  std::vector<ReportEvent> out;
  for (const ReportEvent& e : events) {
    if (e.event == event && (kind.empty() || e.kind == kind)) out.push_back(e);
  }
  return out;
}

void Report::Add(ReportEvent event) {
  events_.push_back(std::move(event));
}

std::string Report::ToJson(std::span<const std::uint8_t> flash, int final_rate, int sessions,
                           std::string_view more) const {
  std::string out = "{\n\"final_rate\": " + std::to_string(final_rate) +
                    ",\n\"sessions\": " + std::to_string(sessions) +
                    ",\n\"flash_size\": " + std::to_string(flash.size()) + ",\n";
  if (!more.empty()) out += std::string(more) + ",\n";
  out += "\"events\": [\n";
  for (std::size_t i = 0; i < events_.size(); ++i) {
    const ReportEvent& e = events_[i];
    out += "{\"t_us\": " + std::to_string(e.at.count()) + ", \"event\": " + JsonQuote(e.event) +
           ", \"kind\": " + JsonQuote(e.kind) + ", \"rate\": " + std::to_string(e.rate) +
           ", \"hex\": \"" + HexOf(e.bytes) + "\", \"note\": " + JsonQuote(e.note) + "}";
    out += i + 1 < events_.size() ? ",\n" : "\n";
  }
  out += "],\n\"flash\": \"" + HexOf(flash) + "\"\n}\n";
  return out;
}

std::string DescribeEvent(const ReportEvent& event) {
  char head[64];
  std::snprintf(head, sizeof head, "%10.3f ms  %-8s", event.at.count() / 1000.0,
                event.event.c_str());
  std::string line = head;
  if (!event.kind.empty()) line += " " + event.kind;
  if (event.rate != 0) line += " @" + std::to_string(event.rate);
  if (!event.bytes.empty()) {
    constexpr std::size_t kShownBytes = 16;
    std::span<const std::uint8_t> shown(event.bytes);
    line += " " + HexOf(shown.first(std::min(shown.size(), kShownBytes)));
    if (shown.size() > kShownBytes) line += "... (" + std::to_string(shown.size()) + " bytes)";
  }
  if (!event.note.empty()) line += "  [" + event.note + "]";
  return line;
}

std::optional<ParsedReport> ParseReport(std::string_view json) {
  std::optional<nlohmann::json> doc = ParseJson(json);
  if (!doc || !doc->is_object()) return std::nullopt;
  const nlohmann::json* events = JsonMember(*doc, "events");
  if (!events || !events->is_array()) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> flash = BytesOfHex(TextOf(JsonMember(*doc, "flash")));
  if (!flash) return std::nullopt;
  ParsedReport report;
  report.flash = std::move(*flash);
  report.final_rate = static_cast<int>(NumberOf(JsonMember(*doc, "final_rate")));
  report.sessions = static_cast<int>(NumberOf(JsonMember(*doc, "sessions")));
  for (const nlohmann::json& item : *events) {
    std::optional<std::vector<std::uint8_t>> bytes = BytesOfHex(TextOf(JsonMember(item, "hex")));
    if (!item.is_object() || !bytes) return std::nullopt;
    ReportEvent e;
    e.at = SimTime(NumberOf(JsonMember(item, "t_us")));
    e.event = TextOf(JsonMember(item, "event"));
    e.kind = TextOf(JsonMember(item, "kind"));
    e.rate = static_cast<int>(NumberOf(JsonMember(item, "rate")));
    e.bytes = std::move(*bytes);
    e.note = TextOf(JsonMember(item, "note"));
    report.events.push_back(std::move(e));
  }
  return report;
}

}  // namespace vexo::sim
