// Settings and language files as users' machines have them: binary garbage,
// duplicate sections, values far over the limit, files nobody may write,
// language files saved in GBK or not text at all. Reads never fail and never
// grow past the value limit; a write either lands and keeps every other byte,
// or is refused and leaves the file exactly as it was.
#include <iconv.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "app/ini_file.h"
#include "app/settings.h"
#include "app/text_codec.h"
#include "tests/app/app_test_support.h"
#include "tests/support/unprivileged.h"

namespace vexo {
namespace {

using namespace std::string_literals;
using testing::ReadFile;
using testing::StateGuard;
using testing::TempDir;
using testing::WriteFile;

// True when after is before with one stretch of text inserted somewhere.
bool OnlyInserted(const std::string& before, const std::string& after) {
  if (after.size() < before.size()) return false;
  std::size_t prefix = 0;
  while (prefix < before.size() && before[prefix] == after[prefix]) ++prefix;
  const std::size_t rest = before.size() - prefix;
  return after.compare(after.size() - rest, rest, before, prefix, rest) == 0;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(byte(generator));
  return bytes;
}

std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename());
  }
  return names;
}

// ---- system.ini ----------------------------------------------------------------

class BadSettingsFile : public ::testing::Test {
 protected:
  TempDir work;
  StateGuard guard{work.path()};
  std::string path = work.File("system.ini");
};

TEST_F(BadSettingsFile, BinaryGarbageReadsAndKeepsItsBytes) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::string garbage = RandomBytes(4096, seed);
    WriteFile(path, garbage);
    for (const char* key : {setting::kPort, setting::kBaud, setting::kRadioType}) {
      EXPECT_LE(ReadSetting(setting::kComputer, key).size(), kIniValueLimit);
    }
    ASSERT_TRUE(WriteSetting(setting::kComputer, setting::kPort, "COM3"));
    EXPECT_EQ(ReadSetting(setting::kComputer, setting::kPort), "COM3");
    EXPECT_TRUE(OnlyInserted(garbage, ReadFile(path)));
  }
}

TEST_F(BadSettingsFile, ZeroByteHidesNothingAfterIt) {
  const std::string before = "x\0y\n[computer]\ncom=COM1\n"s;
  WriteFile(path, before);
  EXPECT_EQ(ReadSetting(setting::kComputer, setting::kPort), "COM1");
  // New keys land after the zero byte; they must still read back.
  ASSERT_TRUE(WriteSetting(setting::kComputer, setting::kBaud, "57600"));
  EXPECT_EQ(ReadSetting(setting::kComputer, setting::kBaud), "57600");
  ASSERT_TRUE(WriteSetting(setting::kFile, setting::kFilePath, "/tmp/fw.BIN"));
  EXPECT_EQ(ReadSetting(setting::kFile, setting::kFilePath), "/tmp/fw.BIN");
  EXPECT_EQ(ReadFile(path).substr(0, 4), before.substr(0, 4));
}

TEST_F(BadSettingsFile, DuplicateSectionsUseTheFirstAndKeepTheRest) {
  const std::string before =
      "[computer]\ncom=COM1\n[file]\nfile_path=/a.BIN\n[computer]\ncom=COM2\n";
  WriteFile(path, before);
  EXPECT_EQ(ReadSetting(setting::kComputer, setting::kPort), "COM1");

  ASSERT_TRUE(WriteSetting(setting::kComputer, setting::kPort, "COM7"));
  ASSERT_TRUE(WriteSetting(setting::kComputer, setting::kRadioType, "R1"));
  EXPECT_EQ(
      ReadFile(path),
      "[computer]\ncom=COM7\nradio_type=R1\n[file]\nfile_path=/a.BIN\n[computer]\ncom=COM2\n");
  EXPECT_EQ(ReadSetting(setting::kComputer, setting::kPort), "COM7");
}

TEST_F(BadSettingsFile, TenThousandByteValuesAreCutOnReadingOnly) {
  const std::string ascii(10000, 'p');
  std::string chinese;
  while (chinese.size() < 10000) chinese += "\xE5\x9B\xBA";  // 固, three bytes
  WriteFile(path, "[file]\nfile_path=" + ascii + "\n");

  EXPECT_EQ(ReadSetting(setting::kFile, setting::kFilePath), ascii.substr(0, kIniValueLimit));
  // Another key's write keeps the long line whole.
  ASSERT_TRUE(WriteSetting(setting::kFile, setting::kMcuVersion, "1.0"));
  EXPECT_NE(ReadFile(path).find("file_path=" + ascii + "\n"), std::string::npos);

  ASSERT_TRUE(WriteSetting(setting::kComputer, setting::kRadioType, chinese));
  EXPECT_NE(ReadFile(path).find("radio_type=" + chinese + "\n"), std::string::npos);
  // Cut at a character boundary: 170 characters, not 170 and a third.
  EXPECT_EQ(ReadSetting(setting::kComputer, setting::kRadioType), chinese.substr(0, 510));
}

TEST_F(BadSettingsFile, ReadOnlyFileIsLeftAlone) {
  const std::string before = "[computer]\ncom=COM1\n";
  WriteFile(path, before);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);

  EXPECT_FALSE(WriteSetting(setting::kComputer, setting::kPort, "COM2"));
  EXPECT_FALSE(WriteSetting(setting::kFile, setting::kFilePath, "/b.BIN"));
  EXPECT_EQ(ReadFile(path), before);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
  EXPECT_EQ(FilesIn(work.path()), std::vector<std::string>{"system.ini"});
  EXPECT_EQ(ReadSetting(setting::kComputer, setting::kPort), "COM1");
}

TEST_F(BadSettingsFile, WritableFileInADirectoryNobodyMayWriteIsRewrittenInPlace) {
  WriteFile(path, "[computer]\ncom=COM1\nbps=115200\n");
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(chmod(work.path().c_str(), 0555), 0);
  const std::optional<std::string> written = testing::RunUnprivileged([&] {
    const IniWriteStatus status = WriteSetting(setting::kComputer, setting::kPort, "COM2");
    return status ? std::string("yes") : status.reason;
  });
  chmod(work.path().c_str(), 0755);
  if (!written) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_EQ(*written, "yes");
  EXPECT_EQ(ReadFile(path), "[computer]\ncom=COM2\nbps=115200\n");
  EXPECT_EQ(FilesIn(work.path()), std::vector<std::string>{"system.ini"});
}

TEST_F(BadSettingsFile, FailedSavesSayWhichFileAndWhy) {
  WriteFile(path, "[computer]\ncom=COM1\n");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  IniWriteStatus status = WriteSetting(setting::kComputer, setting::kPort, "COM2");
  EXPECT_FALSE(status);
  EXPECT_NE(status.reason.find(path), std::string::npos) << status.reason;
  EXPECT_NE(status.reason.find("read-only"), std::string::npos) << status.reason;

  std::filesystem::remove(path);
  std::filesystem::create_symlink(work.File("gone/real.ini"), path);
  status = WriteSetting(setting::kComputer, setting::kPort, "COM2");
  EXPECT_FALSE(status);
  EXPECT_NE(status.reason.find(path), std::string::npos) << status.reason;
  EXPECT_TRUE(std::filesystem::is_symlink(path));
}

// ---- language.sys --------------------------------------------------------------

std::string ProgramDirectory() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

std::string Utf8ToGbk(const std::string& text) {
  iconv_t encoder = iconv_open("CP936", "UTF-8");
  if (encoder == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(text.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  char* dest = out.data();
  std::size_t dest_left = out.size();
  const std::size_t converted = iconv(encoder, &in, &in_left, &dest, &dest_left);
  iconv_close(encoder);
  if (converted == static_cast<std::size_t>(-1)) return {};
  out.resize(out.size() - dest_left);
  return out;
}

class BadLanguageFile : public ::testing::Test {
 protected:
  TempDir work;
  StateGuard guard{work.path()};
  std::string shipped = ProgramDirectory() + "/" + kLanguageFileName;
  std::string local = work.File(kLanguageFileName);
};

TEST_F(BadLanguageFile, WholeFileInGbkReadsAsTheShippedTexts) {
  const std::string utf8 = ReadFile(shipped);
  ASSERT_FALSE(utf8.empty());
  const std::string gbk = Utf8ToGbk(utf8);
  ASSERT_FALSE(gbk.empty()) << "no GBK encoder";
  ASSERT_FALSE(IsValidUtf8(gbk));
  WriteFile(local, gbk);

  for (int base : {kLanguageChinese, kLanguageEnglish}) {
    AppState().LanguageBase = base;
    for (TextId id : kAllTextIds) {
      const std::string expected = IniReadValue(shipped, "language", std::to_string(id + base));
      EXPECT_FALSE(expected.empty()) << id + base;
      EXPECT_EQ(LookupText(id), expected) << id + base;
    }
  }
}

TEST_F(BadLanguageFile, BinaryFileGivesWellFormedTexts) {
  std::string binary = RandomBytes(8192, 7);
  // A readable line after the garbage, zero bytes included, is still found.
  binary += "\n\0\n[language]\n106000=\xB4\xAE\xBF\xDA\n"s;
  WriteFile(local, binary);
  for (int base : {kLanguageChinese, kLanguageEnglish}) {
    AppState().LanguageBase = base;
    for (TextId id : kAllTextIds) {
      const std::string text = LookupText(id);
      EXPECT_TRUE(IsValidUtf8(text)) << id;
      EXPECT_LE(text.size(), 3 * kIniValueLimit) << id;
    }
  }
  AppState().LanguageBase = kLanguageChinese;
  EXPECT_EQ(LookupText(text::kPortCaption), "\xE4\xB8\xB2\xE5\x8F\xA3");  // 串口
}

TEST_F(BadLanguageFile, UnicodeFileFromAWindowsEditorReadsAsTheShippedTexts) {
  // A text only this file has, to know it was this file that was read.
  std::string utf8 = ReadFile(shipped);
  const std::size_t exit_at = utf8.find("\n206003=");
  ASSERT_NE(exit_at, std::string::npos);
  utf8.insert(exit_at + 8, "Unicode ");
  for (const char* encoding : {"UTF-16LE", "UTF-16BE"}) {
    iconv_t encoder = iconv_open(encoding, "UTF-8");
    ASSERT_NE(encoder, reinterpret_cast<iconv_t>(-1));
    std::string wide(utf8.size() * 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t in_left = utf8.size();
    char* out = wide.data();
    std::size_t out_left = wide.size();
    ASSERT_NE(iconv(encoder, &in, &in_left, &out, &out_left), static_cast<std::size_t>(-1));
    iconv_close(encoder);
    wide.resize(wide.size() - out_left);
    const std::string mark = encoding[6] == 'L' ? "\xFF\xFE" : "\xFE\xFF";
    WriteFile(local, mark + wide);
    AppState().LanguageBase = kLanguageEnglish;
    for (TextId id : kAllTextIds) {
      const std::string shipped_text = BuiltinText(id, kLanguageEnglish);
      EXPECT_EQ(LookupText(id), id == text::kExitCaption ? "Unicode " + shipped_text : shipped_text)
          << encoding << " " << id;
    }
  }
}

TEST_F(BadLanguageFile, NoShownTextIsEverBlank) {
  // Each id in turn missing, or not decodable, from the user's own file.
  for (TextId gone : kAllTextIds) {
    for (const std::string& value : {std::string(), std::string("\xFF\xFF\xFF")}) {
      std::string file = "[language]\n";
      for (TextId id : kAllTextIds) {
        for (int base : {kLanguageChinese, kLanguageEnglish}) {
          file += std::to_string(id + base) + "=" + (id == gone ? value : "own") + "\n";
        }
      }
      WriteFile(local, file);
      for (int base : {kLanguageChinese, kLanguageEnglish}) {
        AppState().LanguageBase = base;
        EXPECT_EQ(LookupText(gone), BuiltinText(gone, base)) << gone;
        EXPECT_FALSE(LookupText(gone).empty()) << gone;
      }
    }
  }
}

TEST_F(BadLanguageFile, MissingFileFallsBackWhereverTheProgramRuns) {
  ASSERT_FALSE(std::filesystem::exists(local));
  std::filesystem::current_path(work.path());  // the current directory has none either
  for (TextId id : kAllTextIds) {
    EXPECT_FALSE(LookupText(id).empty()) << id;
  }
}

}  // namespace
}  // namespace vexo
