#include "ui/batch_text.h"

#include "app/settings.h"

namespace vexo::ui {

QString BatchText(TextId id, const QStringList& fill) {
  QString text = QString::fromStdString(LookupText(id));
  for (qsizetype i = 0; i < fill.size(); ++i) {
    text.replace(QLatin1Char('%') + QString::number(i + 1), fill[i]);
  }
  return text;
}

}  // namespace vexo::ui
