// vexo-flash --json: one JSON object per line on standard output for programs
// that follow a job: {"v":1,"t":<ms since the job began>,"event":...}, with
// "port" on every object when several radios are flashed (added by the parent
// that runs one vexo-flash per port). Events: start, phase, progress (at
// most ~10 a second; the last figure of a phase goes out before the next
// phase, message or end, however the phase ended), message, identity, end.
// Thread-safe (the job's thread and the main thread write); no call waits
// for the reader: lines go out from a LineQueue, progress first to go when
// it is full. End gives a reader that does not read a
// bounded time (LineQueue::kCloseWait), then gives up on the rest.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "download/job_observer.h"
#include "history/job_event_schema.h"
#include "link/clock.h"
#include "tools/flash/line_queue.h"

namespace vexo {

inline constexpr int kJsonEventsVersion = job_event::kVersion;

struct JobFacts;

class JsonEvents final : public JobObserver {
 public:
  JsonEvents(std::FILE* out, Clock& clock = RealClock());

  void Start(const JobFacts& facts, const std::string& usb_serial);
  // history_head: the chain's head after the job (ChainHead::Text), when recorded.
  void End(const std::string& result, int exit_status, std::optional<std::int64_t> history_row,
           const std::optional<std::string>& history_head);

  // JobObserver
  void PhaseStarted(JobPhase phase) override;
  void IdentityReceived(const std::string& hex) override;
  void ClosingConfirmed(bool confirmed) override;
  void MessageShown(TextId id, const std::string& text) override;
  void ProgressMade(std::int32_t done, std::int32_t total) override;
  void PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) override;

  // Progress lines dropped so far because the reader did not keep up.
  std::size_t dropped() const { return queue_.dropped(); }

 private:
  struct Progress {
    std::int32_t done;
    std::int32_t total;
    std::int64_t at_ms;
  };
  void SendProgressLocked(const Progress& progress, LineUrgency urgency);
  // The figure held back by the throttle goes out before whatever follows.
  void FlushProgressLocked();

  LineQueue queue_;
  Clock& clock_;
  std::int64_t start_ms_;
  std::mutex mutex_;
  std::string phase_;
  std::int64_t last_progress_ms_ = -1'000'000;
  std::optional<Progress> held_progress_;
  bool closing_confirmed_ = false;
};

}  // namespace vexo
