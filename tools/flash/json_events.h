// vexo-flash --json: one JSON object per line on standard output for programs
// that follow a job: {"v":1,"t":<ms since the job began>,"event":...}, with
// "port" on every object when several radios are flashed. Events: start,
// phase, progress (at most ~10 a second, the last of a phase always), message,
// identity, end. Thread-safe (the job's thread and the main thread write).
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "download/job_observer.h"
#include "link/clock.h"

namespace vexo {

inline constexpr int kJsonEventsVersion = 1;

struct JobFacts;

class JsonEvents final : public JobObserver {
 public:
  // port: added to every object when not empty.
  JsonEvents(std::FILE* out, std::string port, Clock& clock = RealClock());

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

 private:
  void Write(const std::string& line);

  std::FILE* out_;
  std::string port_;
  Clock& clock_;
  std::int64_t start_ms_;
  std::mutex mutex_;
  std::string phase_;
  std::int64_t last_progress_ms_ = -1'000'000;
  bool closing_confirmed_ = false;
};

}  // namespace vexo
