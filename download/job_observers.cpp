#include "download/job_observers.h"

#include <algorithm>

namespace vexo {

void JobObservers::Add(JobObserver& observer) {
  members_.push_back(&observer);
}

void JobObservers::Remove(JobObserver& observer) {
  std::erase(members_, &observer);
}

void JobObservers::ImageLoaded(const ImageSummary& summary) {
  for (JobObserver* member : members_) member->ImageLoaded(summary);
}

void JobObservers::PhaseStarted(JobPhase phase) {
  for (JobObserver* member : members_) member->PhaseStarted(phase);
}

void JobObservers::PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) {
  for (JobObserver* member : members_) member->PhaseEnded(phase, ok, tally);
}

void JobObservers::IdentityReceived(const std::string& hex) {
  for (JobObserver* member : members_) member->IdentityReceived(hex);
}

void JobObservers::RateInUse(int baud, bool downing_declined) {
  for (JobObserver* member : members_) member->RateInUse(baud, downing_declined);
}

void JobObservers::ReadBackChecked(int pages_compared,
                                   std::optional<std::uint32_t> first_difference) {
  for (JobObserver* member : members_) member->ReadBackChecked(pages_compared, first_difference);
}

void JobObservers::ClosingConfirmed(bool confirmed) {
  for (JobObserver* member : members_) member->ClosingConfirmed(confirmed);
}

void JobObservers::MessageShown(TextId id, const std::string& text) {
  for (JobObserver* member : members_) member->MessageShown(id, text);
}

void JobObservers::ProgressMade(std::int32_t done, std::int32_t total) {
  for (JobObserver* member : members_) member->ProgressMade(done, total);
}

}  // namespace vexo
