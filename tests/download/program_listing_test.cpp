#include "download/program_listing.h"

#include <gtest/gtest.h>

#include "app/text_ids.h"
#include "download/programmed_addresses.h"
#include "tests/support/fake_port.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"

namespace vexo {
namespace {

using testing::FakeLog;
using testing::FakeMessages;
using testing::T;
using testing::TempWorkdir;

TEST(ProgramListing, OneUnspacedLinePerRecordAndNoReplies) {
  TempWorkdir dir;
  testing::WriteFile(dir.File("fw.BIN"), testing::MakeImage(3, 0, 50));
  FakeLog log;
  FakeMessages messages;
  ProgrammedAddresses() = {7, 8};
  EXPECT_EQ(ListProgramMessages(" " + dir.File("fw.BIN") + " ", log, messages, nullptr), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(log.text.size(), 3u * (2 + 270 + 2));
  EXPECT_EQ(log.text.substr(0, 14), "S:500000000080");
  EXPECT_EQ(log.text.find("R:"), std::string::npos);
  EXPECT_EQ(log.text.substr(274, 14), "S:500000008080");
  EXPECT_EQ(ProgrammedAddresses(), (std::vector<std::uint16_t>{7, 8}));  // untouched
}

TEST(ProgramListing, LogEmptiedOnlyAtTheCap) {
  TempWorkdir dir;
  testing::WriteFile(dir.File("fw.BIN"), testing::MakeImage(1));
  FakeLog log;
  FakeMessages messages;
  log.text.assign(kListingLogCap - 1, 'x');
  ListProgramMessages(dir.File("fw.BIN"), log, messages, nullptr);
  EXPECT_EQ(log.emptied, 0);
  log.text.assign(kListingLogCap, 'x');
  ListProgramMessages(dir.File("fw.BIN"), log, messages, nullptr);
  EXPECT_EQ(log.emptied, 1);
  EXPECT_EQ(log.text.size(), 274u);
}

TEST(ProgramListing, MissingShortAndUnreadableFiles) {
  TempWorkdir dir;
  FakeLog log;
  FakeMessages messages;
  EXPECT_EQ(ListProgramMessages(dir.File("none.BIN"), log, messages, nullptr), 1);
  EXPECT_EQ(ListProgramMessages(dir.path(), log, messages, nullptr), 1);  // a directory
  testing::WriteFile(dir.File("short.BIN"), std::vector<std::uint8_t>(100, 1));
  EXPECT_EQ(ListProgramMessages(dir.File("short.BIN"), log, messages, nullptr), 0);
  EXPECT_EQ(messages.shown,
            (std::vector<std::string>{T(text::kFileMissing), T(text::kFileUnreadable)}));
  EXPECT_TRUE(log.text.empty());
}

}  // namespace
}  // namespace vexo
