// The number a radio model's name stands for (ModelIndex). Kept for the
// settings and for later models; no behaviour of the program depends on it.
#pragma once

#include <QString>

namespace vexo::ui {

// Upper-case model name -> 0..3; names not known give 3.
int ModelIndexFor(const QString& upper_model);

}  // namespace vexo::ui
