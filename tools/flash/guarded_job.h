// Runs one download for a ConsoleHost on a worker thread while the calling
// (main) thread takes SIGINT and SIGTERM under StopRule: a warning line, or
// the job abandoned (port closed and put back as it was, log complete) and
// one line saying so. SIGHUP and SIGPIPE are ignored for good: a terminal
// that goes away, or a reader of standard error that does, never ends a job.
#pragma once

#include "tools/flash/console_host.h"

namespace vexo {

// SIGHUP and SIGPIPE ignored for the rest of the process (and the programs
// it starts).
void IgnoreHangUps();

// The job's exit status (kExitCompleted, kExitStopped), or 128 + the number
// of the signal that stopped it.
int RunGuardedJob(ConsoleHost& host);

}  // namespace vexo
