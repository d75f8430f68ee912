#pragma once
// Values that must stay on one line: a field of a data file line or of a protocol command.
#include <string_view>

namespace platform {

// True when the text holds a CR, LF or NUL.
bool HasLineBreakOrNul(std::string_view text);

// Throws platform::Error "Line break or NUL in <what> refused" when the text holds one.
void RequireOneLine(std::string_view text, std::string_view what);

}  // namespace platform
