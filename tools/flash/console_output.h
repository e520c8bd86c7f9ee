// Where the command-line host shows what the window would show: phase text,
// progress and message boxes. TerminalOutput draws for a person; StatusOutput
// writes one machine-readable line per event for a parent vexo-flash that
// runs several downloads at once. Used from the job's thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "tools/flash/progress_line.h"

namespace vexo {

class ConsoleOutput {
 public:
  virtual ~ConsoleOutput() = default;
  virtual void Phase(const std::string& text) = 0;
  virtual void Range(std::int32_t low, std::int32_t high) = 0;
  virtual void Position(std::int32_t position) = 0;
  virtual void Message(const std::string& text) = 0;
};

// Messages as lines on out; the progress line redrawn in place when
// progress_on (a terminal).
class TerminalOutput final : public ConsoleOutput {
 public:
  TerminalOutput(std::FILE* out, bool progress_on) : out_(out), progress_(out, progress_on) {}
  void Phase(const std::string& text) override { progress_.SetPhase(text); }
  void Range(std::int32_t low, std::int32_t high) override { progress_.SetRange(low, high); }
  void Position(std::int32_t position) override { progress_.SetPosition(position); }
  void Message(const std::string& text) override;

 private:
  std::FILE* out_;
  ProgressLine progress_;
};

// One event a line: "phase\t<text>", "range\t<low>\t<high>",
// "position\t<n>", "message\t<text>"; in texts a line break is "\n" and a
// backslash "\\".
class StatusOutput final : public ConsoleOutput {
 public:
  explicit StatusOutput(std::FILE* out) : out_(out) {}
  void Phase(const std::string& text) override;
  void Range(std::int32_t low, std::int32_t high) override;
  void Position(std::int32_t position) override;
  void Message(const std::string& text) override;

 private:
  void Line(const std::string& line);
  std::FILE* out_;
};

struct StatusEvent {
  enum class Kind { phase, range, position, message } kind;
  std::string text;
  std::int32_t first = 0;
  std::int32_t second = 0;
};

// Reads one line StatusOutput wrote; nullopt for anything else.
std::optional<StatusEvent> ParseStatusLine(const std::string& line);

}  // namespace vexo
