// The radio models a job can be set for, in the order the model lists offer
// them (the window's list, the page's).
#pragma once

namespace vexo {

inline constexpr const char* kRadioModels[] = {"TR310P4", "TR420PD"};

}  // namespace vexo
