#pragma once
#include <string>
#include <string_view>

namespace pemblor {

// Device texts are bytes from the network. Before one reaches a terminal, a
// file or the clipboard it goes through these.

// The text as valid UTF-8 with no control character in it: every C0
// control (below U+0020), DEL and every C1 control (U+0080 to U+009F) shows
// as '?', and every byte that is no part of a valid UTF-8 sequence as
// U+FFFD. Any other character is kept.
std::string SafeText(std::string_view text);

// SafeText, with a leading "'" where a spreadsheet would take the text for
// a formula: it starts with '+', '-', '@', a tab or a carriage return. (A
// device's entry cannot start with '=', and the tool writes none that does.)
std::string SafeCell(std::string_view text);

} // namespace pemblor
