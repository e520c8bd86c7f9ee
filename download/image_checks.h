// What a job refuses in a loaded firmware image before the radio is touched:
// no whole record (text 2011), two records writing the same flash address
// (7002), and, for E.P.R, records the read-back cannot reach because read
// requests carry 16-bit addresses (7001). Pure functions.
#pragma once

#include <string_view>

#include "app/text_ids.h"

namespace vexo {

// The text to show when a job in mode must refuse image; 0 when it may run.
TextId ImageRefusal(std::string_view image, int mode);

}  // namespace vexo
