// DecodeQuotedPrintable on arbitrary text, with and without the underscore rule.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/orb_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mail::DecodeQuotedPrintable(text, true);
    mail::DecodeQuotedPrintable(text, false);
    return 0;
}
