// JobRecorder: what a host holds for one job to keep its history row current:
// the row is written at Start, rewritten at each Update (phase change) and
// finished at Finish. A history that fails never fails the job: the recorder
// keeps the first reason and hands it out once (TakeFailure), so the host says
// "this job was not recorded: <reason>" a single time. One thread at a time:
// a host whose threads both reach it (a job's notes, a line said meanwhile)
// serialises them.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "history/history_store.h"
#include "history/job_record.h"

namespace vexo {

// A phase change must not hold the job while another process writes: an
// update gives up soon, since Finish writes the whole record again anyway.
inline constexpr std::chrono::milliseconds kUpdateBusyTimeout{250};

class JobRecorder {
 public:
  explicit JobRecorder(std::string path = DefaultHistoryPath()) : path_(std::move(path)) {}

  // Opens the history and writes the row; fills user, host and start time
  // when the record leaves them empty.
  void Start(const JobRecord& record);
  // The record as it stands; change it, then Update() or Finish().
  JobRecord& record() { return record_; }
  void Update();
  // Ends the phase under way (its duration up to now) and opens the next,
  // then writes: the one write a phase change costs.
  void StartPhase(const std::string& name);
  // The phase under way, for its retries and byte counts; nullptr before the
  // first StartPhase.
  PhaseRecord* current_phase();
  // Kept with the record; written at the next phase change or at Finish.
  void AddMessage(int text_id) { record_.message_ids.push_back(text_id); }
  // Ends the phase under way and writes the final row.
  void Finish(JobResult result, int exit_status);
  // The head the chain reached with this job's row, once Finish recorded it:
  // the copy a host gives the user to keep outside the file.
  const std::optional<ChainHead>& head() const { return head_; }
  // The row written at Start now holds the job's end: record().id names a
  // finished row only then.
  bool finished() const { return finished_; }

  // The first failure's reason, once; nullopt when there is none (left).
  // Shown to the user as NotRecordedText(reason) (history_texts.h).
  std::optional<std::string> TakeFailure();
  // Something the user should know about the file even when the job was
  // recorded (a damaged file kept aside), once, in the user's language.
  std::optional<std::string> TakeNotice();

 private:
  void Fail(std::string reason);
  void EndPhase(std::int64_t now_ms);
  void TakeStoreNotice();

  std::string path_;
  HistoryStore store_;
  JobRecord record_;
  bool row_written_ = false;
  bool phase_open_ = false;
  bool failed_ = false;
  bool finished_ = false;
  std::optional<std::string> failure_;
  std::optional<std::string> notice_;
  std::optional<ChainHead> head_;
  std::string told_notice_;
};

}  // namespace vexo
