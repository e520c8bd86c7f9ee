// One firmware download from start to end, run on a worker thread of its
// own: the image as its host loaded it (or file check and load), job controls
// busy, handshake, erase, programming, read-back in "E.P.R" mode, the closing
// exchange, the outcome message, job controls idle. Returns 0 when the job
// reached its end through the closing exchange, 1 when it stopped early.
// Every failure has been shown through the host; the port is closed and the
// controls idle on every way out.
#pragma once

#include "download/firmware_image.h"
#include "download/job_host.h"
#include "link/clock.h"

namespace vexo {

// The job's first step, for a host that keeps facts of the image it sends:
// the file at host.FirmwarePathText() checked and loaded, under the loading
// status as the job itself shows it. Said nothing about a failure: the job
// given the result does (missing, unreadable), as it would have.
LoadedImage LoadJobImage(JobHost& host);

// Sends image, as loaded once by LoadJobImage; the file is not read again.
int DownloadWorker(JobHost& host, const LoadedImage& image, Clock& clock = RealClock());
// Loads the host's file itself, for hosts that keep nothing of the image.
int DownloadWorker(JobHost& host, Clock& clock = RealClock());

}  // namespace vexo
