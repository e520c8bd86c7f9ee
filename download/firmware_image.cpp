#include "download/firmware_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <new>
#include <vector>

#include "link/hex_text.h"

namespace vexo {
namespace {

const ImageText& EmptyImage() {
  static const ImageText empty = std::make_shared<const std::string>();
  return empty;
}

// A mutex rather than std::atomic<std::shared_ptr>: not every standard
// library the engine is built with has that specialisation yet.
class PublishedImage {
 public:
  static ImageText Load() {
    std::lock_guard lock(Instance().mutex_);
    return Instance().image_;
  }
  static void Store(ImageText image) {
    std::lock_guard lock(Instance().mutex_);
    Instance().image_ = std::move(image);
  }

 private:
  static PublishedImage& Instance() {
    static PublishedImage published;
    return published;
  }
  std::mutex mutex_;
  ImageText image_ = EmptyImage();
};

// A large image is written once, front to back, into fresh memory; with
// small pages most of the load is spent in page faults. Huge pages, where the
// kernel offers them, make that cost vanish. Advice only: failure is harmless.
void AskForHugePages(std::string& hex) {
  constexpr std::uintptr_t kHugePage = 2u << 20;
  if (hex.capacity() < 2 * kHugePage) return;
  auto begin = reinterpret_cast<std::uintptr_t>(hex.data());
  std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  std::uintptr_t last = (begin + hex.capacity()) & ~(kHugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// Reads the whole file as hex text; false on any failure to open or read.
bool ReadHex(const std::string& path, std::string& hex, BusyCursorHost* cursor) {
  // Opened without blocking (a named pipe would wait for a writer), then
  // refused below unless it is a regular file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(::fdopen(fd, "rb"), &std::fclose);
  std::FILE* file = owned.get();
  if (file == nullptr) {
    ::close(fd);
    return false;
  }
  BusyCursorScope busy(cursor);
  // Only a regular file has a size to trust; a directory opens too.
  struct stat info {};
  bool ok = ::fstat(::fileno(file), &info) == 0 && S_ISREG(info.st_mode);
  ok = ok && std::fseek(file, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(file) : -1;
  ok = ok && size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    hex.reserve(2 * static_cast<std::size_t>(size));
    AskForHugePages(hex);
    std::vector<std::uint8_t> block(kImageReadBlock);
    std::size_t left = static_cast<std::size_t>(size);
    while (ok && left > 0) {
      std::size_t want = left < block.size() ? left : block.size();
      std::size_t got = std::fread(block.data(), 1, want, file);
      // A short read means the file shrank or the device failed: never hand
      // on a silently truncated image.
      ok = got == want;
      char text[2 * kImageReadBlock];
      std::size_t length = HexInto(text, std::span(block.data(), got));
      hex.append(text, length);
      left -= got;
    }
    // Growth after the size was taken is not part of this load, but a read
    // error is.
    ok = ok && std::ferror(file) == 0;
  }
  return ok;
}

}  // namespace

ImageText FirmwareImage() {
  return PublishedImage::Load();
}

std::int64_t LoadFirmwareImage(const std::string& path, ImageText& image, BusyCursorHost* cursor) {
  image = EmptyImage();
  PublishedImage::Store(EmptyImage());
  auto hex = std::make_shared<std::string>();
  try {
    if (!ReadHex(path, *hex, cursor)) return -1;
  } catch (const std::bad_alloc&) {
    return -1;  // a file too large to hold twice over in memory
  }
  image = std::move(hex);
  PublishedImage::Store(image);
  return static_cast<std::int64_t>(image->size() / 2);
}

}  // namespace vexo
