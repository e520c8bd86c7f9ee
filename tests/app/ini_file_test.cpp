#include "app/ini_file.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/app/app_test_support.h"

namespace vexo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(IniRead, FollowsWindowsProfileRules) {
  struct Case {
    const char* file;
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"[Computer]\nCOM=COM3\n", "computer", "com", "COM3"},
      {"[computer]\ncom=COM3\n", "COMPUTER", "Com", "COM3"},
      {"[ computer ]\n  com  =   COM 3  \t\n", "computer", "com", "COM 3"},
      {"[s]\nk=\" a b \"\n", "s", "k", " a b "},
      {"[s]\nk=' a b '\n", "s", "k", " a b "},
      {"[s]\nk=  \"quoted\"  \n", "s", "k", "quoted"},
      {"[s]\nk=\"a'\n", "s", "k", "\"a'"},
      {"[s]\nk='a\"\n", "s", "k", "'a\""},
      {"[s]\nk=\"\n", "s", "k", "\""},
      {"[s]\nk=\"'a'\"\n", "s", "k", "'a'"},  // one pair only
      {"[s]\nk=1\nk=2\n", "s", "k", "1"},
      {"[s]\nk=1\n[t]\n[s]\nk=2\nj=3\n", "s", "k", "1"},
      {"[s]\nk=1\n[t]\n[s]\nk=2\nj=3\n", "s", "j", "3"},
      {"[s]\nk=<<<END\nline\nEND\n", "s", "k", "<<<END"},
      {"[s]\n;k=1\n", "s", "k", ""},
      {"[s]\nk=\n", "s", "k", ""},
      {"[s]\nk=1\n", "t", "k", ""},
      {"[s]\nk=1\n", "s", "j", ""},
      {"k=1\n", "s", "k", ""},
      {"\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "v"},
      {"[s]\r\nk=\xB4\xAE\xBF\xDA\r\n", "s", "k", "\xB4\xAE\xBF\xDA"},  // bytes unchanged
  };
  TempDir dir;
  const std::string path = dir.File("case.ini");
  for (const Case& c : cases) {
    WriteFile(path, c.file);
    EXPECT_EQ(IniReadValue(path, c.section, c.key), c.expected) << c.file;
  }
  EXPECT_EQ(IniReadValue(dir.File("missing.ini"), "s", "k"), "");
}

TEST(IniRead, CutsLongValues) {
  TempDir dir;
  const std::string path = dir.File("long.ini");
  const std::string ascii(600, 'x');
  WriteFile(path, "[s]\nk=" + ascii + "\n");
  EXPECT_EQ(IniReadValue(path, "s", "k"), ascii.substr(0, kIniValueLimit));

  // 300 three-byte characters: the cut stays on a character boundary.
  std::string chinese;
  for (int i = 0; i < 300; ++i) chinese += "\xE4\xB8\xB2";
  WriteFile(path, "[s]\nk=" + chinese + "\n");
  EXPECT_EQ(IniReadValue(path, "s", "k"), chinese.substr(0, 510));
}

TEST(IniWrite, CreatesFileAndSections) {
  TempDir dir;
  const std::string path = dir.File("system.ini");
  ASSERT_TRUE(IniWriteValue(path, "computer", "com", "COM1"));
  ASSERT_TRUE(IniWriteValue(path, "computer", "bps", "9600"));
  ASSERT_TRUE(IniWriteValue(path, "file", "file_path", "/home/u/fw.BIN"));
  ASSERT_TRUE(IniWriteValue(path, "COMPUTER", "COM", "COM2"));
  EXPECT_EQ(ReadFile(path), "[computer]\ncom=COM2\nbps=9600\n[file]\nfile_path=/home/u/fw.BIN\n");
  EXPECT_EQ(IniReadValue(path, "computer", "com"), "COM2");
}

TEST(IniWrite, ChangesOnlyItsOwnLine) {
  struct Case {
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      // Comments, unknown keys, other sections, blank and stray lines stay.
      {"; mine\n[computer]\n# note\ncom = COM1 \nx=1\nstray\n\n[file]\nfile_path=a\n", "computer",
       "com", "COM9",
       "; mine\n[computer]\n# note\ncom = COM9\nx=1\nstray\n\n[file]\nfile_path=a\n"},
      // A new key goes after the section's last entry, before the gap.
      {"[computer]\ncom=COM1\n\n; file\n[file]\nfile_path=a\n", "computer", "bps", "9600",
       "[computer]\ncom=COM1\nbps=9600\n\n; file\n[file]\nfile_path=a\n"},
      // CRLF stays CRLF, a UTF-8 mark and the key's spelling stay.
      {"\xEF\xBB\xBF[Language]\r\nLANGUAGE = 1\r\n", "language", "language", "2",
       "\xEF\xBB\xBF[Language]\r\nLANGUAGE = 2\r\n"},
      {"[computer]\r\ncom=COM1\r\n", "file", "file_path", "b",
       "[computer]\r\ncom=COM1\r\n[file]\r\nfile_path=b\r\n"},
      // A last line without an ending gets one before anything is added.
      {"[computer]\ncom=COM1", "computer", "bps", "9600", "[computer]\ncom=COM1\nbps=9600\n"},
      {"[computer]\ncom=COM1", "computer", "com", "COM2", "[computer]\ncom=COM2"},
      {"[computer]", "file", "file_path", "b", "[computer]\n[file]\nfile_path=b\n"},
      // The first of repeated keys is the one read, so it is the one written.
      {"[s]\nk=1\nk=2\n", "s", "k", "3", "[s]\nk=3\nk=2\n"},
  };
  TempDir dir;
  const std::string path = dir.File("system.ini");
  for (const Case& c : cases) {
    WriteFile(path, c.before);
    EXPECT_TRUE(IniWriteValue(path, c.section, c.key, c.value)) << c.before;
    EXPECT_EQ(ReadFile(path), c.after) << c.before;
  }
}

TEST(IniWrite, RefusesWhatWouldNotReadBack) {
  TempDir dir;
  const std::string path = dir.File("system.ini");
  const std::string before = "[s]\nk=1\n";
  WriteFile(path, before);
  EXPECT_FALSE(IniWriteValue(path, "s", "k", "two\nlines"));
  EXPECT_FALSE(IniWriteValue(path, "s", "k=", "1"));
  EXPECT_FALSE(IniWriteValue(path, "s]", "k", "1"));
  EXPECT_FALSE(IniWriteValue(path, "s", "#k", "1"));
  EXPECT_FALSE(IniWriteValue(path, "", "k", "1"));
  EXPECT_EQ(ReadFile(path), before);

  // Something unreadable at the path is not replaced.
  const std::string directory = dir.File("dir.ini");
  std::filesystem::create_directory(directory);
  EXPECT_FALSE(IniWriteValue(directory, "s", "k", "1"));
  EXPECT_TRUE(std::filesystem::is_directory(directory));
  EXPECT_FALSE(IniWriteValue(dir.File("no/such/dir.ini"), "s", "k", "1"));
}

TEST(IniWrite, KeepsModeAndSymbolicLink) {
  TempDir dir;
  const std::string target = dir.File("real.ini");
  const std::string link = dir.File("system.ini");
  WriteFile(target, "[s]\nk=1\n");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  std::filesystem::create_symlink(target, link);

  ASSERT_TRUE(IniWriteValue(link, "s", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "[s]\nk=2\n");
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// Names of the files in dir other than the one given.
std::vector<std::string> OtherFiles(const std::string& dir, const std::string& keep) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename() != keep) names.push_back(entry.path().filename());
  }
  return names;
}

TEST(IniWrite, FailedSaveLeavesOldFileWhole) {
  TempDir dir;
  const std::string path = dir.File("system.ini");
  const std::string before = "[s]\nk=" + std::string(4000, 'o') + "\n";
  WriteFile(path, before);

  // The child may write files of 100 bytes at most, whoever it runs as.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(IniWriteValue(path, "s", "k", std::string(4000, 'n')) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write reported success";
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_TRUE(OtherFiles(dir.path(), "system.ini").empty()) << "temporary file left behind";
}

TEST(IniWrite, KilledSaveLeavesOldOrNewFile) {
  TempDir dir;
  const std::string path = dir.File("system.ini");
  const std::string first = std::string(200000, 'a');
  const std::string second = std::string(200000, 'b');
  ASSERT_TRUE(IniWriteValue(path, "s", "k", first));

  // Each round kills a writer a little later, so that the kills fall on
  // different steps of a save; what is left must always be one whole file.
  for (int round = 0; round < 20; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      (void)!write(ready[1], "x", 1);
      for (int save = 0;; ++save) IniWriteValue(path, "s", "k", save % 2 ? first : second);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    usleep(round * 350);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    const std::string text = ReadFile(path);
    ASSERT_TRUE(text == "[s]\nk=" + first + "\n" || text == "[s]\nk=" + second + "\n")
        << "round " << round << ": file of " << text.size() << " bytes";
  }
}

}  // namespace
}  // namespace vexo
