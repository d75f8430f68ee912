#pragma once
// What a strict ISO-2022-JP reader accepts from us: no byte at or above 0x80 anywhere, and
// between ESC $ B and the next escape only whole pairs of bytes 0x21..0x7E.
#include <string_view>

namespace mail {

inline bool IsCleanJis(std::string_view jis) {
    bool kanji = false;
    std::size_t run = 0;
    for (std::size_t i = 0; i < jis.size(); ++i) {
        const auto c = static_cast<unsigned char>(jis[i]);
        if (c >= 0x80) return false;
        if (c == 0x1B) {
            if (i + 2 >= jis.size() || (kanji && run % 2 != 0)) return false;
            kanji = jis[i + 1] == '$';
            run = 0;
            i += 2;
            continue;
        }
        if (kanji) {
            if (c < 0x21 || c > 0x7E) return false;
            ++run;
        }
    }
    return !kanji || run % 2 == 0;
}

}  // namespace mail
