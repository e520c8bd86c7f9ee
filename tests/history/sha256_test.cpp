#include "history/sha256.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

#include <fstream>

namespace vexo {
namespace {

TEST(Sha256, KnownDigestsOfTextAndFile) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const std::string file = (dir / ("vexo-sha-" + std::to_string(getpid()))).string();
  std::ofstream(file, std::ios::binary) << "abc";
  EXPECT_EQ(FileSha256Hex(file), Sha256Hex("abc"));
  std::filesystem::remove(file);
  EXPECT_FALSE(FileSha256Hex(file));
  EXPECT_FALSE(FileSha256Hex(dir.string()));  // a directory has no content to digest

  // Hex text over several decoding blocks digests as its bytes do.
  std::string bytes(200 * 1024 + 3, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + i / 977);
  std::string hex;
  for (unsigned char b : bytes)
    hex += "0123456789ABCDEF"[b >> 4], hex += "0123456789ABCDEF"[b & 15];
  EXPECT_EQ(Sha256HexOfHexText(hex), Sha256Hex(bytes));
  EXPECT_EQ(Sha256HexOfHexText("6"), "");
  EXPECT_EQ(Sha256HexOfHexText("6X"), "");
}

}  // namespace
}  // namespace vexo
