// Whether vexo-flash may write a file it creates or replaces (a traffic log,
// a history export): never over a file it must keep, whatever name reaches
// it, and never over an existing file that is not one of its own of that
// kind. Main thread; the answer is a one-line reason or nullopt.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vexo {

struct OutputKind {
  std::string what;                                             // "the log file"
  std::string ours;                                             // "a VEXO log"
  std::function<bool(const std::string& first_bytes)> is_ours;  // judged on the first 256 bytes
};

// Why path must not be written, or nullopt: it is one of the files in keep
// (same device and inode, so another name for it counts), or an existing
// file that is neither empty nor ours by kind.is_ours, or anything but a
// regular file and /dev/null (a pipe, a device). A new file is fine.
std::optional<std::string> OutputPathRefusal(const std::string& path,
                                             const std::vector<std::string>& keep,
                                             const OutputKind& kind);

}  // namespace vexo
