#include "history/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/hex_text.h"

namespace vexo {
namespace {

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

constexpr std::size_t kReadBlock = 64 * 1024;

std::string HexOf(const unsigned char* digest, unsigned int length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 0x0F];
  }
  return text;
}

DigestContext NewContext() {
  DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) context.reset();
  return context;
}

std::string Finish(EVP_MD_CTX* context) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context, digest, &length) != 1) return {};
  return HexOf(digest, length);
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  DigestContext context = NewContext();
  if (!context || EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1) return {};
  return Finish(context.get());
}

std::string Sha256HexOfHexText(std::string_view hex) {
  DigestContext context = NewContext();
  if (!context || hex.size() % 2 != 0) return {};
  std::vector<std::uint8_t> block;
  for (std::size_t at = 0; at < hex.size(); at += 2 * kReadBlock) {
    const std::string_view part = hex.substr(at, 2 * kReadBlock);
    if (static_cast<std::size_t>(HexToBytes(part, block)) != part.size() / 2 ||
        EVP_DigestUpdate(context.get(), block.data(), block.size()) != 1) {
      return {};
    }
  }
  return Finish(context.get());
}

std::optional<std::string> FileSha256Hex(const std::string& path) {
  // Without blocking: a named pipe must not hold the caller.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  DigestContext context = NewContext();
  std::string block(kReadBlock, '\0');
  bool ok = static_cast<bool>(context);
  while (ok) {
    const ssize_t got = ::read(fd, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(got)) == 1;
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  std::string digest = Finish(context.get());
  if (digest.empty()) return std::nullopt;
  return digest;
}

}  // namespace vexo
