#include "history/job_recorder.h"

#include "history/history_texts.h"

namespace vexo {

void JobRecorder::Fail(std::string reason) {
  if (failed_) return;
  failed_ = true;
  failure_ = std::move(reason);
}

void JobRecorder::Start(const JobRecord& record) {
  record_ = record;
  if (record_.started_utc_ms == 0) record_.started_utc_ms = NowUtcMs();
  if (record_.user_name.empty()) record_.user_name = CurrentUserName();
  if (record_.host_name.empty()) record_.host_name = CurrentHostName();
  const HistoryStatus opened = store_.OpenForRecording(path_);
  const HistoryStatus begun = opened.ok() ? store_.BeginJob(record_) : opened;
  TakeStoreNotice();
  if (!begun.ok()) return Fail(begun.error);
  row_written_ = true;
}

void JobRecorder::TakeStoreNotice() {
  // The file may be set aside at the start or, found damaged by a later
  // write, at the end: each time is told once.
  if (store_.notice_kind() == HistoryNotice::kNone || store_.notice() == told_notice_) return;
  told_notice_ = store_.notice();
  notice_ = HistoryNoticeText(store_);
}

void JobRecorder::Update() {
  // A failed update is not reported: Finish writes the whole record again,
  // and only when that fails is anything lost.
  if (!row_written_ || failed_) return;
  store_.SetBusyTimeout(kUpdateBusyTimeout);
  store_.UpdateJob(record_);
  store_.SetBusyTimeout(kHistoryBusyTimeout);
}

void JobRecorder::EndPhase(std::int64_t now_ms) {
  if (!phase_open_) return;
  PhaseRecord& phase = record_.phases.back();
  phase.duration_ms = now_ms - phase.started_utc_ms;
  phase_open_ = false;
}

void JobRecorder::StartPhase(const std::string& name) {
  const std::int64_t now = NowUtcMs();
  EndPhase(now);
  PhaseRecord phase;
  phase.name = name;
  phase.started_utc_ms = now;
  record_.phases.push_back(std::move(phase));
  phase_open_ = true;
  Update();
}

PhaseRecord* JobRecorder::current_phase() {
  return phase_open_ ? &record_.phases.back() : nullptr;
}

void JobRecorder::Finish(JobResult result, int exit_status) {
  const std::int64_t now = NowUtcMs();
  EndPhase(now);
  record_.result = result;
  record_.exit_status = exit_status;
  if (record_.ended_utc_ms == 0) record_.ended_utc_ms = now;
  if (!row_written_ || failed_) return;
  ChainHead head;
  const HistoryStatus finished = store_.FinishJob(record_, &head);
  TakeStoreNotice();
  if (!finished.ok()) return Fail(finished.error);
  head_ = std::move(head);
  finished_ = true;
}

std::optional<std::string> JobRecorder::TakeFailure() {
  return std::exchange(failure_, std::nullopt);
}

std::optional<std::string> JobRecorder::TakeNotice() {
  return std::exchange(notice_, std::nullopt);
}

}  // namespace vexo
