// The entries of the windows' choice lists that are not texts of a language:
// the radio models and the programming rates (from kLoaderRates), in the
// order the lists show them. Shared by the main window and the batch window.
#pragma once

#include <QStringList>

namespace vexo::ui {

QStringList RadioModelChoices();
QStringList ProgrammingRateChoices();

}  // namespace vexo::ui
