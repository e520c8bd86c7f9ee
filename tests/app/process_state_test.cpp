#include "app/process_state.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "tests/app/app_test_support.h"

namespace vexo {
namespace {

using testing::StateGuard;
using testing::TempDir;
using testing::WriteFile;

TEST(Startup, DecimalValueReadsLikeTheCLibrary) {
  const std::pair<const char*, int> cases[] = {
      {"2", 2},
      {" 2", 2},
      {"\t\n 7", 7},
      {"2abc", 2},
      {"+2", 2},
      {"-2", -2},
      {"02", 2},
      {"", 0},
      {"abc", 0},
      {"- 2", 0},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(DecimalValue(text), value) << text;
}

TEST(Startup, LanguageTwoSelectsEnglish) {
  for (const char* text : {"2", " 2", "2abc", "02"}) {
    EXPECT_EQ(LanguageBaseFor(text), kLanguageEnglish) << text;
  }
  for (const char* text : {"1", "3", "20", "", "x2", "200000"}) {
    EXPECT_EQ(LanguageBaseFor(text), kLanguageChinese) << text;
  }
}

// Sets LC_ALL, LC_MESSAGES and LANG for one test ("" counts as unset) and
// puts back what was there.
class LocaleGuard {
 public:
  LocaleGuard(const char* lc_all, const char* lc_messages, const char* lang) {
    const char* values[] = {lc_all, lc_messages, lang};
    for (int i = 0; i < 3; ++i) {
      if (const char* old = std::getenv(kNames[i])) saved_[i] = old;
      setenv(kNames[i], values[i], 1);
    }
  }
  ~LocaleGuard() {
    for (int i = 0; i < 3; ++i)
      saved_[i] ? setenv(kNames[i], saved_[i]->c_str(), 1) : unsetenv(kNames[i]);
  }

 private:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> saved_[3];
};

TEST(Startup, WithoutStoredLanguageTheLocaleDecides) {
  const std::pair<const char*, int> locales[] = {
      {"zh_CN.UTF-8", kLanguageChinese}, {"zh_TW", kLanguageChinese},
      {"en_US.UTF-8", kLanguageEnglish}, {"de_DE.UTF-8", kLanguageEnglish},
      {"C", kLanguageEnglish},           {"", kLanguageEnglish},
  };
  for (const auto& [name, base] : locales) EXPECT_EQ(LanguageBaseForLocale(name), base) << name;
  {
    LocaleGuard locale("", "zh_CN.UTF-8", "en_US.UTF-8");
    EXPECT_EQ(UserLocaleName(), "zh_CN.UTF-8");
  }

  TempDir work;
  StateGuard guard(work.path());
  LocaleGuard locale("", "", "en_US.UTF-8");
  ASSERT_TRUE(RunStartup(work.path()));
  EXPECT_EQ(AppState().LanguageBase, kLanguageEnglish);
  // A stored language wins over the locale.
  WriteFile(work.File("system.ini"), "[language]\nlanguage=1\n");
  ASSERT_TRUE(RunStartup(work.path()));
  EXPECT_EQ(AppState().LanguageBase, kLanguageChinese);
}

TEST(Startup, FillsStateFromWorkingDirectory) {
  TempDir work;
  StateGuard guard(work.path());
  LocaleGuard locale("zh_CN.UTF-8", "", "");

  ASSERT_TRUE(RunStartup(work.path()));
  EXPECT_EQ(AppState().BuildVariant, 0);
  EXPECT_EQ(AppState().VersionText, "2.20a");
  EXPECT_EQ(AppState().ProductNameText, "VEXO");
  EXPECT_EQ(AppState().WorkingDirectory, work.path());
  EXPECT_FALSE(AppState().DiagnosticLog);
  EXPECT_EQ(AppState().SavedPortText, "");
  EXPECT_EQ(AppState().LanguageBase, kLanguageChinese);

  WriteFile(work.File("system.ini"), "[computer]\ncom=COM3\n[language]\nlanguage= 2\n");
  WriteFile(work.File("isdebug.txt"), "");
  ASSERT_TRUE(RunStartup(work.path()));
  EXPECT_TRUE(AppState().DiagnosticLog);
  EXPECT_EQ(AppState().SavedPortText, "COM3");
  EXPECT_EQ(AppState().LanguageBase, kLanguageEnglish);
}

TEST(Startup, DiagnosticFileElsewhereHasNoEffect) {
  TempDir work;
  TempDir firmware;
  StateGuard guard(work.path());
  WriteFile(firmware.File("isdebug.txt"), "");
  std::filesystem::current_path(firmware.path());
  ASSERT_TRUE(RunStartup(work.path()));
  EXPECT_FALSE(AppState().DiagnosticLog);
}

TEST(Startup, TakesTheCurrentDirectory) {
  TempDir work;
  StateGuard guard(work.path());
  std::filesystem::current_path(work.path());
  ASSERT_TRUE(RunStartup());
  EXPECT_EQ(AppState().WorkingDirectory, std::filesystem::canonical(work.path()).string());
}

TEST(Startup, DirectoryTooLongIsReportedAndFilesStayRelative) {
  TempDir work;
  StateGuard guard(work.path());
  std::filesystem::path deep = work.path();
  while (deep.string().size() <= kWorkingDirectoryLimit) deep /= std::string(60, 'd');
  std::filesystem::create_directories(deep);
  std::filesystem::current_path(deep);
  WriteFile("system.ini", "[language]\nlanguage=2\n");

  EXPECT_FALSE(RunStartup());
  EXPECT_EQ(AppState().WorkingDirectory, "");
  EXPECT_EQ(AppState().LanguageBase, kLanguageEnglish);  // read from the current directory
  EXPECT_EQ(AppState().VersionText, "2.20a");
}

}  // namespace
}  // namespace vexo
