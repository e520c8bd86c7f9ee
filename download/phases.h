// The phases of a download, in the order the job runs them. Each runs on the
// download thread, reports its own failures through the host and returns
// kPhaseOk or a negative result (job_context.h). A phase that fails in an
// exchange closes the port before returning.
#pragma once

#include <string>

#include "download/job_context.h"

namespace vexo {

// Opens the port, finds the boot loader, puts it into firmware mode and moves
// both ends to target_baud, proved by an echo test. 0 with the port open.
int LinkHandshake(JobContext& job, int target_baud);

// Erases the whole flash, with the busy indicator running meanwhile.
int FlashErase(JobContext& job);

// Sends every record of image as a programming message, each echoed before
// the next; rebuilds ProgrammedAddresses.
int ProgramBlocks(JobContext& job, const std::string& image);

// Reads back every programmed address and compares the flash with what the
// image must have left there.
int VerifyBlocks(JobContext& job, const std::string& image);

}  // namespace vexo
