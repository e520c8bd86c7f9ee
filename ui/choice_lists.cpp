#include "ui/choice_lists.h"

#include "app/radio_models.h"
#include "link/line_rates.h"

namespace vexo::ui {

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
