// The window's few fixed texts, the ones that language.sys does not carry:
// title, language toggle captions, the about entry and the progress bar's
// time line. Each follows the language given (LanguageBase). Pure functions.
#pragma once

#include <QString>
#include <cstdint>

namespace vexo::ui {

// "VEXO V2.20a": product name and version from the process state.
QString WindowTitle();
// The toggle names the language it switches to.
QString LanguageButtonCaption(int language_base);
QString AboutMenuText(int language_base);
QString AboutTitle(int language_base);

// "m:ss"; hours are shown as "h:mm:ss".
QString FormatDuration(std::int64_t ms);
// What the progress bar shows while a phase runs: the percentage, the time
// the phase has taken and, once there is progress to judge by, what remains.
QString PhaseProgressFormat(int language_base, std::int64_t elapsed_ms,
                            std::int64_t remaining_ms /* < 0: unknown */);
// Remaining time by linear extrapolation; -1 when nothing has been done yet.
std::int64_t EstimateRemainingMs(std::int64_t elapsed_ms, std::int64_t low, std::int64_t high,
                                 std::int64_t position);

}  // namespace vexo::ui
