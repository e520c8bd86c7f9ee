#include "app/settings.h"

#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/ini_file.h"
#include "app/text_codec.h"
#include "tests/app/app_test_support.h"

namespace vexo {
namespace {

using testing::ReadFile;
using testing::StateGuard;
using testing::TempDir;
using testing::WriteFile;

// The directory of this test program, where the build puts the shipped language file.
std::string ProgramDirectory() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

TEST(Settings, UseWorkingDirectoryNotCurrentDirectory) {
  TempDir work;
  TempDir elsewhere;
  StateGuard guard(work.path());
  std::filesystem::current_path(elsewhere.path());  // as after browsing in a file dialog

  EXPECT_EQ(ReadSetting("computer", "com"), "");
  EXPECT_TRUE(WriteSetting("computer", "com", "COM4"));
  EXPECT_EQ(ReadSetting("Computer", "COM"), "COM4");
  EXPECT_EQ(ReadFile(work.File("system.ini")), "[computer]\ncom=COM4\n");
  EXPECT_FALSE(std::filesystem::exists(elsewhere.File("system.ini")));
}

TEST(Language, LooksUpByIdPlusLanguageBase) {
  TempDir work;
  StateGuard guard(work.path());
  WriteFile(work.File("language.sys"),
            "[language]\n106000=\xE4\xB8\xB2\xE5\x8F\xA3\n206000=Port:\n");

  EXPECT_EQ(LookupText(text::kPortCaption), "\xE4\xB8\xB2\xE5\x8F\xA3");  // 串口
  AppState().LanguageBase = kLanguageEnglish;
  EXPECT_EQ(LookupText(text::kPortCaption), "Port:");
  // An id the file lacks comes from the shipped texts, never blank.
  EXPECT_EQ(LookupText(text::kBaudCaption), BuiltinText(text::kBaudCaption, kLanguageEnglish));
}

TEST(Language, DecodesGbkFiles) {
  TempDir work;
  StateGuard guard(work.path());
  WriteFile(work.File("language.sys"), "[language]\r\n106000=\xB4\xAE\xBF\xDA\r\n206000=Port:\r\n");
  EXPECT_EQ(LookupText(text::kPortCaption), "\xE4\xB8\xB2\xE5\x8F\xA3");
}

TEST(Language, FallsBackToTheInstalledFile) {
  const std::string shipped = ProgramDirectory() + "/language.sys";
  ASSERT_TRUE(std::filesystem::exists(shipped));
  TempDir work;
  StateGuard guard(work.path(), kLanguageEnglish);

  EXPECT_EQ(LanguagePath(), shipped);
  const std::string expected = IniReadValue(shipped, "language", "206003");
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(LookupText(text::kExitCaption), expected);

  // A file in the working directory wins for the texts it has; the others
  // still come from the installed one.
  WriteFile(work.File("language.sys"), "[language]\n206013=Radio model:\n");
  EXPECT_EQ(LanguagePath(), work.File("language.sys"));
  EXPECT_EQ(LookupText(text::kModelCaption), "Radio model:");
  EXPECT_EQ(LookupText(text::kExitCaption), expected);
}

TEST(Language, ShippedFileHasEveryTextInBothLanguagesAndIsBuiltIn) {
  const std::string shipped = ProgramDirectory() + "/language.sys";
  for (TextId id : kAllTextIds) {
    EXPECT_EQ(BuiltinText(id, kLanguageChinese),
              IniReadValue(shipped, "language", std::to_string(id + kLanguageChinese)));
    EXPECT_EQ(BuiltinText(id, kLanguageEnglish),
              IniReadValue(shipped, "language", std::to_string(id + kLanguageEnglish)));
    const std::string chinese =
        IniReadValue(shipped, "language", std::to_string(id + kLanguageChinese));
    const std::string english =
        IniReadValue(shipped, "language", std::to_string(id + kLanguageEnglish));
    EXPECT_FALSE(chinese.empty()) << id;
    EXPECT_FALSE(english.empty()) << id;
    EXPECT_TRUE(IsValidUtf8(chinese)) << id;
    EXPECT_NE(chinese, english) << id;
  }
}

}  // namespace
}  // namespace vexo
