#include "history/job_history_watcher.h"

namespace vexo {

void JobHistoryWatcher::PhaseStarted(JobPhase phase) {
  recorder_.StartPhase(JobPhaseName(phase));
}

void JobHistoryWatcher::PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) {
  (void)phase, (void)ok;
  PhaseRecord* current = recorder_.current_phase();
  if (current == nullptr) return;
  current->retries = static_cast<int>(tally.retries);
  current->bytes_sent = static_cast<std::uint64_t>(tally.bytes_sent);
  current->bytes_received = static_cast<std::uint64_t>(tally.bytes_received);
}

void JobHistoryWatcher::IdentityReceived(const std::string& hex) {
  recorder_.record().identity_hex = hex;
}

void JobHistoryWatcher::RateInUse(int baud, bool downing_declined) {
  recorder_.record().used_baud = baud;
  recorder_.record().downing_declined = downing_declined;
}

void JobHistoryWatcher::ReadBackChecked(int pages_compared,
                                        std::optional<std::uint32_t> first_difference) {
  recorder_.record().pages_compared = pages_compared;
  recorder_.record().first_difference = first_difference;
}

void JobHistoryWatcher::ClosingConfirmed(bool confirmed) {
  recorder_.record().closing_confirmed = confirmed;
}

void JobHistoryWatcher::MessageShown(TextId id, const std::string& text) {
  (void)text;
  if (id != 0) recorder_.AddMessage(id);
}

}  // namespace vexo
