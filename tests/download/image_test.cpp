#include <gtest/gtest.h>

#include <sys/stat.h>

#include "download/expected_flash.h"
#include "download/firmware_image.h"
#include "download/image_records.h"
#include "link/hex_text.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"

namespace vexo {
namespace {

using testing::TempWorkdir;

TEST(FirmwareImage, LoadsEveryByteAsUpperCaseHex) {
  TempWorkdir dir;
  const struct { std::size_t size; } sizes[] = {{0}, {1}, {4095}, {4096}, {4097}, {3 * 4096 + 5}};
  for (auto [size] : sizes) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    testing::WriteFile(dir.File("a.bin"), bytes);
    ImageText image;
    EXPECT_EQ(LoadFirmwareImage(dir.File("a.bin"), image), static_cast<std::int64_t>(size));
    EXPECT_EQ(*image, BytesToHex(bytes)) << size;
    EXPECT_EQ(*FirmwareImage(), *image);
  }
  testing::WriteFile(dir.File("b.bin"), {0x0D, 0x0A, 0x00, 0x0F});
  ImageText image;
  LoadFirmwareImage(dir.File("b.bin"), image);
  EXPECT_EQ(*image, "0D0A000F");  // raw: no line-end translation, leading zeros kept
}

TEST(FirmwareImage, FailureLeavesAnEmptyImage) {
  TempWorkdir dir;
  testing::WriteFile(dir.File("a.bin"), {1, 2, 3});
  ImageText image;
  ASSERT_EQ(LoadFirmwareImage(dir.File("a.bin"), image), 3);
  EXPECT_EQ(LoadFirmwareImage(dir.File("missing.bin"), image), -1);
  EXPECT_TRUE(image->empty());
  EXPECT_TRUE(FirmwareImage()->empty());
  // a directory opens for reading but is no firmware
  EXPECT_EQ(LoadFirmwareImage(dir.path(), image), -1);
  EXPECT_TRUE(image->empty());
}

TEST(FirmwareImage, ALaterLoadLeavesAHeldSnapshotAlone) {
  TempWorkdir dir;
  testing::WriteFile(dir.File("a.bin"), {0xAA});
  testing::WriteFile(dir.File("b.bin"), {0xBB, 0xBB});
  ImageText job_image;
  LoadFirmwareImage(dir.File("a.bin"), job_image);
  ImageText other;
  LoadFirmwareImage(dir.File("b.bin"), other);
  EXPECT_EQ(*job_image, "AA");
  EXPECT_EQ(*FirmwareImage(), "BBBB");
}

TEST(ImageRecords, CountsOnlyWholeRecords) {
  EXPECT_EQ(RecordCount(std::string(337, '0')), 0);
  EXPECT_EQ(RecordCount(std::string(338, '0')), 1);
  EXPECT_EQ(RecordCount(std::string(72 + 266 * 3 + 265, '0')), 3);
  EXPECT_EQ(RecordCount(""), 0);
}

TEST(ImageRecords, ProgramMessageOfTheWorkedExample) {
  std::string image = std::string(72, '0') + "00001200" + std::string(256, 'F') + "77";
  std::string message = BuildProgramMessage(image, 0);
  ASSERT_EQ(message.size(), 270u);
  EXPECT_EQ(message.substr(0, 12), "500000120080");
  EXPECT_EQ(message.substr(268), "62");
  // the record's last byte is never sent
  std::string other = image;
  other.replace(other.size() - 2, 2, "00");
  EXPECT_EQ(BuildProgramMessage(other, 0), message);
}

TEST(ImageRecords, AddressesSaturateAboveTheSignedRange) {
  EXPECT_EQ(ProgrammedAddressOf("00001200"), 0x1200);
  EXPECT_EQ(ProgrammedAddressOf("00012345"), 0x2345);
  EXPECT_EQ(ProgrammedAddressOf("7FFF1234"), 0x1234);
  EXPECT_EQ(ProgrammedAddressOf("80000000"), 0xFFFF);
  EXPECT_EQ(ProgrammedAddressOf("FFFFFFFF"), 0xFFFF);
}

TEST(ExpectedFlash, ErasedExceptWhereRecordsWrote) {
  auto bytes = testing::MakeImage(3, 0x100);
  std::string image = BytesToHex(bytes);
  ExpectedFlash flash(image);
  EXPECT_EQ(flash.PageHex(0), std::string(512, 'F'));
  std::string page = flash.PageHex(0x100);
  // records 0 and 1 fill the page: the 4-byte address and the stray last
  // byte of each record are not flash contents
  EXPECT_EQ(page.substr(0, 256), image.substr(72 + 8, 256));
  EXPECT_EQ(page.substr(256, 256), image.substr(72 + 266 + 8, 256));
  // the last page a request can name reaches past 64 KiB without harm
  EXPECT_EQ(flash.PageHex(0xFFFF).size(), 512u);
}

}  // namespace
}  // namespace vexo
