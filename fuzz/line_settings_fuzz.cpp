// The serial control's Settings text ("9600,n,8,1") from any byte string: a
// text is accepted only in its canonical form (the parity letter in either
// case, the rate with or without leading zeros), and the control takes
// exactly the texts the parser accepts.
#include <cctype>
#include <string>

#include "fuzz/fuzz_support.h"
#include "link/cmscomm.h"

namespace {

char ParityLetter(vexo::Parity parity) {
  switch (parity) {
    case vexo::Parity::even:
      return 'e';
    case vexo::Parity::odd:
      return 'o';
    case vexo::Parity::none:
      break;
  }
  return 'n';
}

std::string Canonical(const vexo::LineSettings& line) {
  return std::to_string(line.baud) + "," + ParityLetter(line.parity) + "," +
         std::to_string(line.data_bits) + "," + std::to_string(line.stop_bits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(vexo::fuzz::AsText(data, size));
  const std::optional<vexo::LineSettings> line = vexo::ParseSettings(text);

  vexo::CMSComm closed_port;  // never opened: Settings only parses and stores
  VEXO_FUZZ_CHECK(closed_port.SetSettings(text).ok() == line.has_value());
  if (!line) return 0;

  VEXO_FUZZ_CHECK(line->baud > 0);
  VEXO_FUZZ_CHECK(line->data_bits >= 5 && line->data_bits <= 8);
  VEXO_FUZZ_CHECK(line->stop_bits == 1 || line->stop_bits == 2);
  std::string lowered = text.substr(text.find_first_not_of('0'));
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  VEXO_FUZZ_CHECK(lowered == Canonical(*line));
  return 0;
}
