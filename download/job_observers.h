// The observers a host holds for a job (the job history, an event stream, a
// test's probe), as one JobObserver: each note it hears goes to every member
// in the order they were added. It takes no lock: the host serialises the
// calls, and adds or removes members only while no job is calling. Members
// are not owned and must outlive their membership.
#pragma once

#include <vector>

#include "download/job_observer.h"

namespace vexo {

class JobObservers final : public JobObserver {
 public:
  void Add(JobObserver& observer);
  void Remove(JobObserver& observer);

  void ImageLoaded(const ImageSummary& summary) override;
  void PhaseStarted(JobPhase phase) override;
  void PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) override;
  void IdentityReceived(const std::string& hex) override;
  void RateInUse(int baud, bool downing_declined) override;
  void ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) override;
  void ClosingConfirmed(bool confirmed) override;
  void MessageShown(TextId id, const std::string& text) override;
  void ProgressMade(std::int32_t done, std::int32_t total) override;

 private:
  std::vector<JobObserver*> members_;
};

}  // namespace vexo
