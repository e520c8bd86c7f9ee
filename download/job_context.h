// What every phase of a download works with: the host (controls, messages,
// the serial control), the exchange bound to the host's port and log, and the
// clock for the phases' pauses. Built by DownloadWorker for one job.
#pragma once

#include "download/job_host.h"
#include "link/clock.h"
#include "link/frame_exchange.h"

namespace vexo {

struct JobContext {
  JobHost& host;
  FrameExchange& exchange;
  Clock& clock;
};

// Phase results.
inline constexpr int kPhaseOk = 0;
inline constexpr int kPhaseFailed = -1;         // an exchange failed; port closed
inline constexpr int kPhaseBadChecksum = -10;   // read-back reply with a wrong sum
inline constexpr int kPhaseFlashDiffers = -11;  // read-back data differ from the image

// Shows the text of id through the host, in the current language.
void ShowText(JobHost& host, int id);

}  // namespace vexo
