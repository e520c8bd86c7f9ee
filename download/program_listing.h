// The Test listing: every programming message a download of the named file
// would send, written to a log as "S:" lines, unspaced, with nothing sent and
// no port touched. Runs on the caller's thread; failures are shown through the
// host and returned.
#pragma once

#include <string>

#include "download/job_host.h"
#include "link/log_view.h"
#include "link/message_host.h"

namespace vexo {

inline constexpr std::size_t kListingLogCap = 1'638'400;  // characters, whatever the log mode

// lists_anything: an image without a whole record lists nothing (the
// window's Test); as_job_in_mode: an image a job in that mode would refuse
// is refused the same way, with its message.
enum class ListingCheck { lists_anything, as_job_in_mode };

// 0 when the file was listed; 1 when it is missing (text 6007), unreadable
// (text 2011) or, with ListingCheck::as_job_in_mode, refused as a job would.
int ListProgramMessages(const std::string& path_text, LogView& log, MessageHost& host,
                        BusyCursorHost* cursor, ListingCheck check = ListingCheck::lists_anything,
                        int mode = kModeEraseProgram);

}  // namespace vexo
