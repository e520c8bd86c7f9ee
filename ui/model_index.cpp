#include "ui/model_index.h"

#include <array>
#include <utility>

namespace vexo::ui {

namespace {
constexpr int kOtherModel = 3;
constexpr std::array<std::pair<const char*, int>, 3> kModelIndexes{{
    {"TR310P4", 0},
    {"MKQ420E8", 1},
    {"MKQ310E4", 2},
}};
}  // namespace

int ModelIndexFor(const QString& upper_model) {
  for (const auto& [name, index] : kModelIndexes) {
    if (upper_model == QLatin1String(name)) return index;
  }
  return kOtherModel;
}

}  // namespace vexo::ui
