#pragma once
// Lower-case hexadecimal of bytes, as the test scripts print what they read.
#include <string>

namespace peers {

inline std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string h;
    for (unsigned char c : bytes) {
        h += digits[c >> 4];
        h += digits[c & 15];
    }
    return h;
}

}  // namespace peers
