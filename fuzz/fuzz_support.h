// Shared by the fuzz targets and by the corpus replay that runs them in the
// test suite: an invariant check that names the broken condition and aborts
// (libFuzzer then keeps the input; the replay test fails), and a private
// scratch directory for targets that must go through files. Single-threaded.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#define VEXO_FUZZ_CHECK(condition)                                                           \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

namespace vexo::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Removed when the process ends normally. On tmpfs when there is one, since
// some targets write a file for every input.
class ScratchDirectory {
 public:
  static const std::string& Path() {
    static ScratchDirectory directory;
    return directory.path_;
  }

 private:
  ScratchDirectory() {
    std::error_code ec;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
    std::string pattern = (base / "vexo-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("vexo fuzz: no scratch directory");
      std::abort();
    }
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  std::string path_;
};

inline std::string ScratchFile(const std::string& name) {
  return ScratchDirectory::Path() + "/" + name;
}

inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vexo::fuzz
