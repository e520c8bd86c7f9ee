#include "app/text_codec.h"

#include <gtest/gtest.h>

namespace vexo {
namespace {

TEST(AppTextCodec, RecognisesWellFormedUtf8Only) {
  struct Case {
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"Port:", true},
      {"\xE4\xB8\xB2\xE5\x8F\xA3", true},  // 串口
      {"\xF0\x9F\x98\x80", true},          // U+1F600
      {"\xB4\xAE\xBF\xDA", false},         // 串口 in GBK
      {"\xE4\xB8", false},                 // cut-off sequence
      {"\xC0\xAF", false},                 // overlong '/'
      {"\xED\xA0\x80", false},             // surrogate
      {"\xF4\x90\x80\x80", false},         // above U+10FFFF
      {"\x80", false},                     // lone continuation byte
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
}

TEST(AppTextCodec, DecodesGbk) {
  EXPECT_EQ(Cp936ToUtf8("\xB4\xAE\xBF\xDA"), "\xE4\xB8\xB2\xE5\x8F\xA3");  // 串口
  EXPECT_EQ(Cp936ToUtf8("COM1 \xB4\xAE\xBF\xDA!"), "COM1 \xE4\xB8\xB2\xE5\x8F\xA3!");
  EXPECT_EQ(Cp936ToUtf8(""), "");
}

TEST(AppTextCodec, MarksBrokenGbkAndGoesOn) {
  // A lead byte cut off at the end, and one followed by a byte no GBK pair has.
  EXPECT_EQ(Cp936ToUtf8("ab\xB4"), "ab\xEF\xBF\xBD");
  EXPECT_EQ(Cp936ToUtf8("\xFF"
                        "a\xB4\xAE"),
            "\xEF\xBF\xBD"
            "a\xE4\xB8\xB2");
}

TEST(AppTextCodec, PrefixNeverSplitsACharacter) {
  const std::string text = "a\xE4\xB8\xB2\xE5\x8F\xA3";  // a串口: 1 + 3 + 3 bytes
  EXPECT_EQ(Utf8PrefixLength(text, 100), 7u);
  EXPECT_EQ(Utf8PrefixLength(text, 7), 7u);
  EXPECT_EQ(Utf8PrefixLength(text, 6), 4u);
  EXPECT_EQ(Utf8PrefixLength(text, 4), 4u);
  EXPECT_EQ(Utf8PrefixLength(text, 3), 1u);
  EXPECT_EQ(Utf8PrefixLength(text, 0), 0u);
}

}  // namespace
}  // namespace vexo
