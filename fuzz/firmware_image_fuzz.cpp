// Firmware files of any content: the loader returns the size and the exact
// hex text; the records are counted and cut as programming cuts them; every
// programming message is well formed; and the flash read-back expects matches
// a plain model of erase-then-program for every programmed address.
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "download/expected_flash.h"
#include "download/firmware_image.h"
#include "download/image_records.h"
#include "fuzz/fuzz_support.h"
#include "link/hex_text.h"

namespace {

// Every page a read-back request can name: the last one starts at 0xFFFF.
constexpr std::size_t kModelBytes = 0x10000 + vexo::kPageBytes;

std::vector<std::uint8_t> ModelFlash(std::span<const std::uint8_t> file, int records) {
  std::vector<std::uint8_t> flash(kModelBytes, 0xFF);
  for (int i = 0; i < records; ++i) {
    const std::size_t at = 36 + 133 * static_cast<std::size_t>(i);
    const std::uint32_t address =
        (std::uint32_t{file[at]} << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
    for (std::size_t k = 0; k < 128 && address + k < flash.size(); ++k) {
      flash[address + k] = file[at + 4 + k];
    }
  }
  return flash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  const std::string path = vexo::fuzz::ScratchFile("firmware.BIN");
  vexo::fuzz::WriteBytes(path, vexo::fuzz::AsText(data, size));

  vexo::ImageText image;
  VEXO_FUZZ_CHECK(vexo::LoadFirmwareImage(path, image) == static_cast<std::int64_t>(size));
  VEXO_FUZZ_CHECK(*image == vexo::BytesToHex(file));
  VEXO_FUZZ_CHECK(vexo::FirmwareImage() == image);

  const int records = vexo::RecordCount(*image);
  VEXO_FUZZ_CHECK(records == (size < 36 + 133 ? 0 : static_cast<int>((size - 36) / 133)));

  const vexo::ExpectedFlash expected(*image);
  const std::vector<std::uint8_t> model = ModelFlash(file, records);
  for (int i = 0; i < records; ++i) {
    const std::string message = vexo::BuildProgramMessage(*image, i);
    const std::string_view address = vexo::RecordAddressText(*image, i);
    VEXO_FUZZ_CHECK(message.size() == static_cast<std::size_t>(vexo::kProgramMessageChars));
    VEXO_FUZZ_CHECK(message.substr(0, 2) == vexo::kProgramLead);
    VEXO_FUZZ_CHECK(message.substr(2, 8) == address);
    VEXO_FUZZ_CHECK(message.substr(10, 2) == vexo::kProgramDataCount);
    VEXO_FUZZ_CHECK(message.substr(12, 256) == image->substr(72 + 266 * i + 8, 256));
    VEXO_FUZZ_CHECK(message.substr(268) == vexo::HexChecksum(message.substr(0, 268)));

    const std::uint16_t page = vexo::ProgrammedAddressOf(address);
    const std::uint32_t full = std::strtoul(std::string(address).c_str(), nullptr, 16);
    VEXO_FUZZ_CHECK(page == (full > 0x7FFFFFFFu ? 0xFFFF : (full & 0xFFFF)));
    VEXO_FUZZ_CHECK(expected.PageHex(page) ==
                    vexo::BytesToHex(std::span(model.data() + page, vexo::kPageBytes)));
  }
  return 0;
}
