// JobRecorder: what a host holds for one job to keep its history row current:
// the row is written at Start, rewritten at each Update (phase change) and
// finished at Finish. A history that fails never fails the job: the recorder
// keeps the first reason and hands it out once (TakeFailure), so the host says
// "this job was not recorded: <reason>" a single time. One thread at a time.
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
  void Finish(JobResult result, int exit_status);

  // The first failure's reason, once; nullopt when there is none (left).
  std::optional<std::string> TakeFailure();
  // Something the user should know about the file even when the job was
  // recorded (a damaged file kept aside), once.
  std::optional<std::string> TakeNotice();

 private:
  void Fail(std::string reason);

  std::string path_;
  HistoryStore store_;
  JobRecord record_;
  bool row_written_ = false;
  bool failed_ = false;
  std::optional<std::string> failure_;
  std::optional<std::string> notice_;
};

}  // namespace vexo
