// DecodeHeaderWords on arbitrary header text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/orb_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mail::DecodeHeaderWords(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
