// Runs one download for a ConsoleHost on a worker thread while the calling
// (main) thread takes SIGINT and SIGTERM under StopRule: a warning line, or
// the job abandoned (port closed and put back as it was, log complete) and
// one line saying so. SIGHUP and SIGPIPE are ignored for good: a terminal
// that goes away, or a reader of standard error that does, never ends a job.
#pragma once

#include "download/firmware_image.h"
#include "tools/flash/console_host.h"

namespace vexo {

// SIGHUP and SIGPIPE ignored for the rest of the process (and the programs
// it starts).
void IgnoreHangUps();

// SIGINT and SIGTERM blocked for the rest of the process and taken through a
// descriptor instead, so that however many requests come and whenever, none
// ends the process before the job's history row and end event are written.
// A request made before the job starts (while the history is busy, say) waits
// here and stops the job before it touches the radio. Made on the main thread
// before any other thread starts; one per process.
class StopRequests {
 public:
  StopRequests();
  ~StopRequests();  // the signals stay blocked: a late request is never fatal
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

  int descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};

enum class JobEnd { completed, failed, stopped };

struct GuardedJobResult {
  JobEnd end = JobEnd::failed;
  // kExitCompleted, kExitStopped (failed), or 128 + the number of the signal
  // that stopped it.
  int exit_status = 1;
};

// Sends image (as the host loaded it) to the radio.
GuardedJobResult RunGuardedJob(ConsoleHost& host, const LoadedImage& image, StopRequests& requests);

}  // namespace vexo
