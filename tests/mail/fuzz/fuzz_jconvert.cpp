// Detection and every converter on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "../jis_check.h"
#include "mail/jconvert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mail::DetectCode(text);
    // Without escapes of its own, any input reaches JIS as clean 7-bit text.
    if (text.find('\x1b') == std::string_view::npos &&
        !mail::IsCleanJis(mail::SjisToJis(text) + std::string(mail::JisAsciiEscape)))
        __builtin_trap();
    mail::SjisToEuc(text);
    mail::JisToSjis(text);
    mail::JisToEuc(text);
    mail::EucToJis(text);
    mail::EucToSjis(text);
    for (auto target :
         {mail::JapaneseCode::JisNew, mail::JapaneseCode::Euc, mail::JapaneseCode::Sjis})
        mail::ConvertCode(text, target);
    return 0;
}
