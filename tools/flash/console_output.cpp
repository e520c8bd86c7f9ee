#include "tools/flash/console_output.h"

#include <cstdlib>

namespace vexo {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out += text[i + 1] == 'n' ? '\n' : text[i + 1];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

void TerminalOutput::Message(const std::string& text) {
  progress_.Finish();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void StatusOutput::Line(const std::string& line) {
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void StatusOutput::Phase(const std::string& text) {
  Line("phase\t" + Escape(text));
}

void StatusOutput::Range(std::int32_t low, std::int32_t high) {
  Line("range\t" + std::to_string(low) + "\t" + std::to_string(high));
}

void StatusOutput::Position(std::int32_t position) {
  Line("position\t" + std::to_string(position));
}

void StatusOutput::Message(const std::string& text) {
  Line("message\t" + Escape(text));
}

std::optional<StatusEvent> ParseStatusLine(const std::string& line) {
  const std::size_t tab = line.find('\t');
  if (tab == std::string::npos) return std::nullopt;
  const std::string kind = line.substr(0, tab);
  const std::string rest = line.substr(tab + 1);
  if (kind == "phase") return StatusEvent{StatusEvent::Kind::phase, Unescape(rest)};
  if (kind == "message") return StatusEvent{StatusEvent::Kind::message, Unescape(rest)};
  if (kind == "position") {
    return StatusEvent{StatusEvent::Kind::position, {}, std::atoi(rest.c_str())};
  }
  if (kind == "range") {
    const std::size_t second = rest.find('\t');
    if (second == std::string::npos) return std::nullopt;
    return StatusEvent{StatusEvent::Kind::range,
                       {},
                       std::atoi(rest.c_str()),
                       std::atoi(rest.c_str() + second + 1)};
  }
  return std::nullopt;
}

}  // namespace vexo
