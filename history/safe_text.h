// Texts from the history made safe for where they are shown: a terminal (no
// control character reaches it raw), a spreadsheet (no cell is read as a
// formula) and a UTF-8 export (a byte that is not UTF-8 is written as the
// four characters \xNN rather than lost). Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace vexo {

// Valid UTF-8 as it is; every byte that is not part of a valid sequence as
// "\xNN" (upper-case hex).
std::string Utf8Text(std::string_view text);
// Utf8Text, and C0 controls, DEL and C1 controls (U+0080..U+009F) as "\xNN"
// too, so that a crafted file name cannot move the cursor or repaint a line.
std::string TerminalText(std::string_view text);
// A text cell starting with '=', '+', '-', '@', a tab or a carriage return
// gets a leading apostrophe, which spreadsheets take as "this is text".
std::string SpreadsheetText(std::string text);

}  // namespace vexo
