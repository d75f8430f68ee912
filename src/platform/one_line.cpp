#include "platform/one_line.h"

#include <string>

#include "platform/error.h"

namespace platform {

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void RequireOneLine(std::string_view text, std::string_view what) {
    if (HasLineBreakOrNul(text))
        throw Error("Line break or NUL in " + std::string(what) + " refused");
}

}  // namespace platform
