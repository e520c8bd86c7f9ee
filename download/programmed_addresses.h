// ProgrammedAddresses: the 16-bit record addresses the programming phase
// sent, in order, walked by the read-back phase of the same job. Process-wide;
// only the download thread of the one running job touches it.
#pragma once

#include <cstdint>
#include <vector>

namespace vexo {

std::vector<std::uint16_t>& ProgrammedAddresses();

}  // namespace vexo
