#include "link/hex_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vexo {
namespace {

TEST(HexText, HexOfValueFitsItsWidthOrIsEmpty) {
  EXPECT_EQ(HexOfValue(0x5A, 1), "5A");
  EXPECT_EQ(HexOfValue(7, 2), "0007");
  EXPECT_EQ(HexOfValue(0, 1), "00");
  EXPECT_EQ(HexOfValue(0x1234, 1), "");
  EXPECT_EQ(HexOfValue(0xFFFFFFFFu, 4), "FFFFFFFF");
  EXPECT_EQ(HexOfValue(0x100, 1), "");
}

TEST(HexText, TextToHexUsesByteValues) {
  EXPECT_EQ(TextToHex("DALL"), "44414C4C");
  EXPECT_EQ(TextToHex("BPSSET3"), "42505353455433");
  EXPECT_EQ(TextToHex("\xB4"), "B4");  // never sign-extended
  EXPECT_EQ(TextToHex(std::string("\0\x7F", 2)), "007F");
  EXPECT_EQ(TextToHex(""), "");
}

TEST(HexText, HexChecksumSumsBytesModulo256) {
  EXPECT_EQ(HexChecksum("03570000"), "5A");
  EXPECT_EQ(HexChecksum("03580000"), "5B");
  EXPECT_EQ(HexChecksum(""), "00");
  EXPECT_EQ(HexChecksum("FF01"), "00");
  EXPECT_EQ(HexChecksum("10A"), "1A");   // odd end read as one digit
  EXPECT_EQ(HexChecksum("ff0e"), "0D");  // lower case read too
  std::string closing = "50FFFFFFFF80" + CountingPattern();
  EXPECT_EQ(HexChecksum(closing), "8C");
}

TEST(HexText, SpacedHexPutsABlankAfterEveryByte) {
  EXPECT_EQ(SpacedHex("55AA03"), "55 AA 03 ");
  EXPECT_EQ(SpacedHex(""), "");
  EXPECT_EQ(SpacedHex("55A"), "55 A ");
}

TEST(HexText, CountingPatternIsZeroTo7F) {
  std::string pattern = CountingPattern();
  ASSERT_EQ(pattern.size(), 256u);
  EXPECT_EQ(pattern.substr(0, 6), "000102");
  EXPECT_EQ(pattern.substr(252), "7E7F");
}

TEST(HexText, RepeatTextCutsAPartialCopy) {
  EXPECT_EQ(RepeatText(".", 3), "...");
  EXPECT_EQ(RepeatText("FF", 512), std::string(512, 'F'));
  EXPECT_EQ(RepeatText("ABC", 5), "ABCAB");
  EXPECT_EQ(RepeatText("AB", 0), "");
  EXPECT_EQ(RepeatText("AB", -4), "");
  EXPECT_EQ(RepeatText("", 10), "");  // must not loop for ever
}

TEST(HexText, TrimTextKeepsInnerBlanks) {
  EXPECT_EQ(TrimText("  /tmp/a b.BIN \t\r\n"), "/tmp/a b.BIN");
  EXPECT_EQ(TrimText(" \t "), "");
  EXPECT_EQ(TrimText(""), "");
}

TEST(HexText, HexToBytesStopsAtTheFirstBadPair) {
  std::vector<std::uint8_t> bytes;
  EXPECT_EQ(HexToBytes("55aaFF", bytes), 3);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x55, 0xAA, 0xFF}));
  EXPECT_EQ(HexToBytes("0102G30405", bytes), 2);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x01, 0x02}));
  EXPECT_EQ(HexToBytes("ABC", bytes), 1);
  EXPECT_EQ(HexDigitValue('g'), -1);
  EXPECT_EQ(HexDigitValue('f'), 15);
  EXPECT_EQ(HexDigitValue(' '), -1);
}

TEST(HexText, BytesToHexRoundTripsEveryByte) {
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  std::string hex = BytesToHex(all);
  EXPECT_EQ(hex.substr(0, 4), "0001");
  EXPECT_EQ(hex.substr(0x0A * 2, 6), "0A0B0C");
  std::vector<std::uint8_t> back;
  HexToBytes(hex, back);
  EXPECT_EQ(back, all);
}

TEST(HexText, FileExistsNeedsAReadableFile) {
  auto path = std::filesystem::temp_directory_path() / "vexo-hex-exists.bin";
  std::ofstream(path) << "x";
  EXPECT_TRUE(FileExists(path.string()));
  std::filesystem::remove(path);
  EXPECT_FALSE(FileExists(path.string()));
  EXPECT_FALSE(FileExists(""));
  EXPECT_EQ(ProductName(0), "VEXO");
}

}  // namespace
}  // namespace vexo
