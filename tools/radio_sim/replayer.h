// The radio's side of a captured session, played back: for each logged S:
// line it expects exactly those bytes from the host, at the rate the log
// implies, and answers with the R: line that followed, paced at that rate and
// after the radio's pause the log's times show. At the first difference (other
// bytes, another rate, the host gone for good, bytes after the end of the log)
// it records the line, what was expected and what came, and answers nothing
// more. Ends its session (LineAction::session_end) when the log has been
// played or a difference found. Pure logic on injected time; one thread.
#pragma once

#include <deque>

#include "tools/radio_sim/line_engine.h"
#include "tools/radio_sim/replay_log.h"

namespace vexo::sim {

struct ReplayDifference {
  int line = 0;  // in the log file; its line count + 1 for bytes after the end
  std::vector<std::uint8_t> expected;
  std::vector<std::uint8_t> got;
  std::string note;
};

class Replayer final : public LineEngine {
 public:
  explicit Replayer(ReplayLog log);

  void Receive(std::span<const std::uint8_t> bytes, int host_rate, SimTime now) override;
  std::vector<LineAction> Run(SimTime now) override;
  std::optional<SimTime> NextWake() const override;
  void NotePort(SimTime now, std::string note) override;
  const Report& report() const override { return report_; }

  // S: and R: lines played in full: the host's bytes all matched, the reply's
  // last byte handed to the line.
  int lines_played() const { return lines_played_; }
  // The whole log played without a difference.
  bool ran_to_end() const;
  const std::optional<ReplayDifference>& difference() const { return difference_; }
  // The simulator's report with a "replay" object.
  std::string ReportJson() const;

 private:
  struct Scheduled {
    SimTime due;
    LineAction action;
    std::optional<ReportEvent> event;
    int completes_line = 0;  // the R: line whose last byte this is
  };

  void Advance(SimTime now);
  void Reply(const LoggedExchange& e, SimTime start);
  void Differ(SimTime now, int line, std::vector<std::uint8_t> expected,
              std::vector<std::uint8_t> got, std::string note);
  void Schedule(SimTime due, LineAction action, std::optional<ReportEvent> event = {},
                int completes_line = 0);

  const ReplayLog log_;
  Report report_;
  std::size_t next_ = 0;     // the exchange whose S: bytes are awaited
  std::size_t matched_ = 0;  // of its bytes, received so far
  SimTime first_byte_{0};
  SimTime line_free_{0};  // when the last scheduled reply byte has left
  int rate_ = kStartRate;
  int lines_played_ = 0;
  bool ended_ = false;  // session_end scheduled
  std::optional<ReplayDifference> difference_;
  SimTime collect_until_{0};         // the host's bytes after a difference still join "got"
  std::optional<SimTime> gone_at_;   // the host closed the port with lines left: gone then
  std::deque<Scheduled> scheduled_;  // by due time
};

// The report of a replay that did not start for a bad log: its "replay"
// object names the line (bad_line, 0 for a log without exchanges) and why.
std::string BadLogReportJson(const ParsedLog& parsed);

}  // namespace vexo::sim
