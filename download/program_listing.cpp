#include "download/program_listing.h"

#include "app/settings.h"
#include "app/text_ids.h"
#include "download/firmware_image.h"
#include "download/image_checks.h"
#include "download/image_records.h"
#include "link/hex_text.h"

namespace vexo {

int ListProgramMessages(const std::string& path_text, LogView& log, MessageHost& host,
                        BusyCursorHost* cursor, ListingCheck check, int mode) {
  BusyCursorScope busy(cursor);
  const std::string path = TrimText(path_text);
  if (!FileExists(path)) {
    ShowTextMessage(host, text::kFileMissing);
    return 1;
  }
  // The listing has an image of its own; a job that is running keeps the
  // snapshot it loaded.
  ImageText image;
  if (LoadFirmwareImage(path, image, cursor) < 0) {
    ShowTextMessage(host, text::kFileUnreadable);
    return 1;
  }
  if (check == ListingCheck::as_job_in_mode) {
    if (const TextId refusal = ImageRefusal(*image, mode); refusal != 0) {
      ShowTextMessage(host, refusal);
      return 1;
    }
  }
  if (log.TextLength() >= kListingLogCap) log.Empty();
  const int records = RecordCount(*image);
  for (int i = 0; i < records; ++i) {
    AppendLogLine(log, "S:" + BuildProgramMessage(*image, i) + "\r\n");
  }
  return 0;
}

}  // namespace vexo
