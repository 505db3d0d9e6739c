// Texts that come from outside (file names, tag texts) printed one to a line: a name holding a line break or
// a terminal's escape sequence must neither break its line nor steer the terminal.
#pragma once

#include <string>
#include <string_view>

namespace vemla {

// The text with what a terminal would act on written out visibly: \n, \r, \t and \\ for a line feed, a
// carriage return, a tab and a backslash, \xNN for the other control characters (escape, delete) and for
// bytes that are no UTF-8, \u0080 ... \u009f for the Unicode control characters. Other characters stay as
// they are.
std::string printable(std::string_view text);

}  // namespace vemla
