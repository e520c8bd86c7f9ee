// The simulated radio on a line, on injected time: bytes from the host go in
// with the rate the host has set, line actions (bytes to write, rate changes,
// hang-up) come out at the time they are due. It decides which bytes are
// understood (those at the loader's own rate; probe frames only at the probe
// rate, whatever the loader's own), when a message counts as received and when its reply leaves
// (pacing, erase and write times, split replies), applies the line faults
// and keeps the report. The caller owns the I/O; one thread.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/radio_sim/boot_loader.h"
#include "tools/radio_sim/line_engine.h"
#include "tools/radio_sim/line_noise.h"
#include "tools/radio_sim/message_reader.h"
#include "tools/radio_sim/report.h"
#include "tools/radio_sim/sim_config.h"

namespace vexo::sim {

// session_end: a download completed (its final 06 has left).
class Simulator final : public LineEngine {
 public:
  explicit Simulator(const SimConfig& config);

  // LineEngine. Where the host's rate is unknown, bytes count as sent at the
  // loader's own rate.
  void Receive(std::span<const std::uint8_t> bytes, int host_rate, SimTime now) override;
  std::vector<LineAction> Run(SimTime now) override;
  std::optional<SimTime> NextWake() const override;
  void NotePort(SimTime now, std::string note) override;

  int rate() const { return rate_; }
  int sessions() const { return sessions_; }
  bool hung_up() const { return hung_up_; }
  const FlashMemory& flash() const { return loader_.flash(); }
  const Report& report() const override { return report_; }
  std::string ReportJson() const;

 private:
  struct Pending {
    Framed message;
    SimTime ready;  // when it counts as received
  };
  struct Scheduled {
    SimTime due;
    LineAction action;
    std::optional<ReportEvent> event;  // reported when the action is taken
  };

  void Collect(MessageReader& reader, bool understood);
  void Handle(const Pending& pending, SimTime start);
  void Send(MessageKind kind, int rate, std::vector<std::uint8_t> reply, SimTime at);
  void Schedule(SimTime due, LineAction action, std::optional<ReportEvent> event = {});
  void Ignore(SimTime at, std::string kind, int rate, std::vector<std::uint8_t> bytes,
              std::string note);

  SimConfig config_;
  BootLoader loader_;
  MessageReader reader_;       // bytes at the loader's own rate
  MessageReader side_reader_;  // bytes at the probe rate while the loader is at another
  LineNoise in_noise_;
  LineNoise out_noise_;
  Report report_;
  int rate_ = kStartRate;
  int sessions_ = 0;
  SimTime busy_until_{0};  // the loader erases or writes until then and does not listen
  SimTime line_free_{0};   // when the last scheduled reply byte has left
  std::deque<Pending> pending_;
  std::deque<Scheduled> scheduled_;  // by due time
  bool hang_up_scheduled_ = false;
  bool hung_up_ = false;
};

}  // namespace vexo::sim
