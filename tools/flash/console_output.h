// Where the command-line host shows what the window would show: phase text,
// progress and message boxes. TerminalOutput draws for a person (a program
// follows a job through its JSON events instead). Used from the job's thread.
#pragma once

#include <cstdint>
#include <cstdio>
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

}  // namespace vexo
