// The shipped language file, built into the program at compile time from
// data/language.sys, so that no message is ever blank when a user's own
// language file lacks a text or cannot be read. Immutable; any thread.
#pragma once

#include <string_view>

namespace vexo {

std::string_view BuiltinLanguageText();

}  // namespace vexo
