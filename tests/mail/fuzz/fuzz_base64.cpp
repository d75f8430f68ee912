// DecodeBase64 on arbitrary text; what EncodeBase64 writes must decode back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mail/orb_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mail::DecodeBase64(text);
    if (mail::DecodeBase64(mail::EncodeBase64(text)) != text) std::abort();
    return 0;
}
