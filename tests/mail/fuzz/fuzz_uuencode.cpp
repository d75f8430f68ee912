// DecodeUuencode on arbitrary lines; a format error is an expected outcome.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mail/orb_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(static_cast<char>(data[i]));
    }
    try {
        mail::DecodeUuencode(lines, "format error");
    } catch (const mail::EUudecodeError&) {
    }
    return 0;
}
