#include "download/programmed_addresses.h"

namespace vexo {

std::vector<std::uint16_t>& ProgrammedAddresses() {
  static std::vector<std::uint16_t> addresses;
  return addresses;
}

}  // namespace vexo
