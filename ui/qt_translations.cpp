#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

#include "app/text_ids.h"

namespace vexo::ui {
namespace {

// "qt_zh_CN.qm" gathers Qt's modules; it pulls in qtbase_zh_CN.qm.
constexpr char kChineseCatalogue[] = "qt_zh_CN";

}  // namespace

bool QtTranslations::Apply(int language_base) {
  const bool chinese = language_base == kLanguageChinese;
  if (chinese == installed_) return true;
  if (!chinese) {
    QCoreApplication::removeTranslator(&translator_);
    installed_ = false;
    return true;
  }
  if (translator_.isEmpty() &&
      !translator_.load(QLatin1String(kChineseCatalogue),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  installed_ = QCoreApplication::installTranslator(&translator_);
  return installed_;
}

}  // namespace vexo::ui
