#include "tools/flash/output_path_refusal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo {
namespace {

constexpr std::size_t kFirstBytesLimit = 256;  // read to judge an existing file
constexpr char kNullDevice[] = "/dev/null";

std::string FirstBytes(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {};
  char buffer[kFirstBytesLimit];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  close(fd);
  return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::optional<std::string> OutputPathRefusal(const std::string& path,
                                             const std::vector<std::string>& keep,
                                             const OutputKind& kind) {
  struct stat target {};
  if (stat(path.c_str(), &target) != 0) return std::nullopt;  // a new file harms nothing
  for (const std::string& kept : keep) {
    struct stat other {};
    if (!kept.empty() && stat(kept.c_str(), &other) == 0 && SameFile(target, other)) {
      return kind.what + " " + path + " is the same file as " + kept +
             "; writing it would destroy that file";
    }
  }
  // A pipe would hold the job until something reads it, and a device is no
  // file to keep; /dev/null is how a script asks for nothing at all.
  struct stat null_device {};
  if (!S_ISREG(target.st_mode) &&
      !(stat(kNullDevice, &null_device) == 0 && SameFile(target, null_device))) {
    return kind.what + " " + path + " is not a regular file; only a file is written";
  }
  if (S_ISREG(target.st_mode) && target.st_size > 0 && !kind.is_ours(FirstBytes(path))) {
    return kind.what + " " + path + " exists and is not " + kind.ours + "; it is left as it is";
  }
  return std::nullopt;
}

}  // namespace vexo
