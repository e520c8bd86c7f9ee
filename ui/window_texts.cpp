#include "ui/window_texts.h"

#include "app/process_state.h"
#include "app/text_ids.h"

namespace vexo::ui {

namespace {
bool English(int language_base) {
  return language_base != kLanguageChinese;
}
}  // namespace

QString WindowTitle() {
  return QString::fromStdString(AppState().ProductNameText + " V" + AppState().VersionText);
}

QString LanguageButtonCaption(int language_base) {
  return language_base == kLanguageChinese ? QStringLiteral("English &Version")
                                           : QStringLiteral("Chinese &Version");
}

QString AboutMenuText(int language_base) {
  const QString product = QString::fromStdString(AppState().ProductNameText);
  return English(language_base) ? QStringLiteral("&About %1...").arg(product)
                                : QStringLiteral("关于 %1(&A)...").arg(product);
}

QString AboutTitle(int language_base) {
  const QString product = QString::fromStdString(AppState().ProductNameText);
  return English(language_base) ? QStringLiteral("About %1").arg(product)
                                : QStringLiteral("关于 %1").arg(product);
}

QString FormatDuration(std::int64_t ms) {
  const std::int64_t seconds = ms / 1000;
  const auto h = static_cast<int>(seconds / 3600);
  const auto m = static_cast<int>(seconds / 60 % 60);
  const auto s = static_cast<int>(seconds % 60);
  if (h > 0) {
    return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0'));
  }
  return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QChar('0'));
}

QString PhaseProgressFormat(int language_base, std::int64_t elapsed_ms, std::int64_t remaining_ms) {
  const bool english = English(language_base);
  QString text = QStringLiteral("%p%   ");
  text += english ? QStringLiteral("%1 elapsed") : QStringLiteral("已用 %1");
  text = text.arg(FormatDuration(elapsed_ms));
  if (remaining_ms >= 0) {
    text += english ? QStringLiteral(", %1 left") : QStringLiteral("，剩余 %1");
    text = text.arg(FormatDuration(remaining_ms));
  }
  return text;
}

std::int64_t EstimateRemainingMs(std::int64_t elapsed_ms, std::int64_t low, std::int64_t high,
                                 std::int64_t position) {
  const std::int64_t done = position - low;
  const std::int64_t left = high - position;
  if (done <= 0 || left < 0) return -1;
  return elapsed_ms * left / done;
}

}  // namespace vexo::ui
