// SHA-256 digests as lower-case hex text, for firmware files in log headers
// and job records. Wraps the system's libcrypto. Any thread; failures are
// empty results, never exceptions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vexo {

inline constexpr std::size_t kSha256HexChars = 64;

// The digest of bytes.
std::string Sha256Hex(std::string_view bytes);

// The digest of the bytes hex text stands for (an image as loaded), decoded
// a block at a time; empty when the text holds anything but hex pairs.
std::string Sha256HexOfHexText(std::string_view hex);

// The digest of the whole file at path, read in blocks; nullopt when it
// cannot be opened or read.
std::optional<std::string> FileSha256Hex(const std::string& path);

}  // namespace vexo
