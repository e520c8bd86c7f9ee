// One firmware download from start to end, run on a worker thread of its
// own: file check and load, job controls busy, handshake, erase, programming,
// read-back in "E.P.R" mode, the closing exchange, the outcome message, job
// controls idle. Returns 0 when the job reached its end through the closing
// exchange, 1 when it stopped early. Every failure has been shown through the
// host; the port is closed and the controls idle on every way out.
#pragma once

#include "download/job_host.h"
#include "link/clock.h"

namespace vexo {

int DownloadWorker(JobHost& host, Clock& clock = RealClock());

}  // namespace vexo
