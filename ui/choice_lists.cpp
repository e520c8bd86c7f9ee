#include "ui/choice_lists.h"

#include "link/line_rates.h"

namespace vexo::ui {

namespace {
const char* const kRadioModels[] = {"TR310P4", "TR420PD"};
}  // namespace

QStringList RadioModelChoices() {
  QStringList models;
  for (const char* model : kRadioModels) models << QLatin1String(model);
  return models;
}

QStringList ProgrammingRateChoices() {
  QStringList rates;
  for (const LoaderRate& rate : kLoaderRates) rates << QString::number(rate.baud);
  return rates;
}

}  // namespace vexo::ui
