// Keeps a job's history row current from what the job tells its host: each
// phase with its retries and bytes, the identity bytes, the rate in use, the
// read-back's pages and first difference, the closing exchange and every
// message shown. Both hosts hold one per job and relay the job's notes to it
// (on the job's thread); the host starts and finishes the recorder itself.
#pragma once

#include "download/job_observer.h"
#include "history/job_recorder.h"

namespace vexo {

class JobHistoryWatcher final : public JobObserver {
 public:
  explicit JobHistoryWatcher(JobRecorder& recorder) : recorder_(recorder) {}

  void PhaseStarted(JobPhase phase) override;
  void PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) override;
  void IdentityReceived(const std::string& hex) override;
  void RateInUse(int baud, bool downing_declined) override;
  void ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) override;
  void ClosingConfirmed(bool confirmed) override;
  void MessageShown(TextId id, const std::string& text) override;

 private:
  JobRecorder& recorder_;
};

}  // namespace vexo
