// The firmware image: the whole file as upper-case hex text. The process-wide
// FirmwareImage is an immutable snapshot; a load builds a new text and then
// publishes it, so a job holding the previous snapshot never sees it change.
// Thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "download/job_host.h"

namespace vexo {

using ImageText = std::shared_ptr<const std::string>;

inline constexpr std::size_t kImageReadBlock = 4096;  // bytes per read

// The last loaded image (empty text before any load). Never null.
ImageText FirmwareImage();

// Loads the whole file at path into image and publishes it as FirmwareImage.
// Returns the byte count, or -1 when the file cannot be opened or a read
// fails; image (and FirmwareImage) are then empty. cursor, when given, shows
// the busy cursor while the file is read.
std::int64_t LoadFirmwareImage(const std::string& path, ImageText& image,
                               BusyCursorHost* cursor = nullptr);

// A job's image as its host loaded it, once: the job sends exactly these
// bytes, and the digest, record count and address range the host keeps of the
// job describe them, whatever happens to the file afterwards.
enum class ImageLoad { missing, unreadable, loaded };
struct LoadedImage {
  ImageLoad outcome = ImageLoad::missing;
  ImageText image;         // the hex text; set only when loaded
  std::int64_t bytes = 0;  // of the file as read
};

}  // namespace vexo
