// Detection and every converter on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/jconvert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mail::DetectCode(text);
    mail::SjisToJis(text);
    mail::SjisToEuc(text);
    mail::JisToSjis(text);
    mail::JisToEuc(text);
    mail::EucToJis(text);
    mail::EucToSjis(text);
    for (auto target : {mail::JapaneseCode::JisNew, mail::JapaneseCode::Euc, mail::JapaneseCode::Sjis})
        mail::ConvertCode(text, target);
    return 0;
}
