#include "mail/jconvert.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace mail {
namespace {

using Byte = unsigned char;

// Output buffer written through a raw pointer; the loops call Room() before each step so no
// step can write past the end (a step writes at most 16 bytes).
class Writer {
public:
    explicit Writer(std::size_t expected) {
        buffer_.resize(expected + 64);
        Reset(0);
    }
    void Room() {
        if (end_ - out_ < 16) Grow(16);
    }
    void Grow(std::size_t extra) {
        const std::size_t used = static_cast<std::size_t>(out_ - buffer_.data());
        buffer_.resize(buffer_.size() * 2 + extra + 64);
        Reset(used);
    }
    void Put(Byte b) { *out_++ = static_cast<char>(b); }
    void Put2(unsigned pair) {
        out_[0] = static_cast<char>((pair >> 8) & 0xFF);
        out_[1] = static_cast<char>(pair & 0xFF);
        out_ += 2;
    }
    // Two bytes already in memory order (see PairTables).
    void PutRaw(std::uint16_t pair) {
        std::memcpy(out_, &pair, 2);
        out_ += 2;
    }
    void Escape(std::string_view e) {
        out_[0] = e[0];
        out_[1] = e[1];
        out_[2] = e[2];
        out_ += 3;
    }
    void Append(const char* p, std::size_t n) {
        if (static_cast<std::size_t>(end_ - out_) < n + 16) Grow(n + 16);
        std::memcpy(out_, p, n);
        out_ += n;
    }
    std::string Finish() {
        buffer_.resize(static_cast<std::size_t>(out_ - buffer_.data()));
        return std::move(buffer_);
    }

private:
    void Reset(std::size_t used) {
        out_ = buffer_.data() + used;
        end_ = buffer_.data() + buffer_.size();
    }
    std::string buffer_;
    char* out_ = nullptr;
    char* end_ = nullptr;
};

// JIS X 0201 katakana (masked to 0x21..0x5F) -> JIS X 0208.
constexpr std::array<std::uint16_t, 63> kKanaTable = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529,
    0x2563, 0x2565, 0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B,
    0x252D, 0x252F, 0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541,
    0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C, 0x254D, 0x254E, 0x254F, 0x2552, 0x2555,
    0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569,
    0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,
};

constexpr Byte kVoicedMark = 0xDE;
constexpr Byte kSemiVoicedMark = 0xDF;

inline bool IsKana(Byte b) { return b >= 0xA1 && b <= 0xDF; }

// Full-width pair for kana k (0xA1..0xDF) followed by `next` (0 when none). Sets `markUsed`
// when the voiced or semi-voiced mark was folded into the kana.
inline unsigned KanaToJis(Byte k, Byte next, bool& markUsed) {
    const unsigned m = k & 0x7F;
    const unsigned code = kKanaTable[m - 0x21];
    markUsed = false;
    if (next == kVoicedMark) {
        if (m == 0x33) {
            markUsed = true;
            return 0x2574;
        }
        if ((m >= 0x36 && m <= 0x44) || (m >= 0x4A && m <= 0x4E)) {
            markUsed = true;
            return code + 1;
        }
    } else if (next == kSemiVoicedMark && m >= 0x4A && m <= 0x4E) {
        markUsed = true;
        return code + 2;
    }
    return code;
}

// Shift_JIS lead a, trail b -> JIS pair, in 8-bit arithmetic.
inline unsigned SjisPairToJis(unsigned a, unsigned b) {
    unsigned j1 = (a < 0xA0 ? 2 * a - 0xE0 : 2 * a - 0x160) & 0xFF;
    unsigned j2;
    if (b <= 0x9E) {
        j1 = (j1 - 1) & 0xFF;
        j2 = (b < 0x80 ? b - 0x1F : b - 0x20) & 0xFF;
    } else {
        j2 = (b - 0x7E) & 0xFF;
    }
    return (j1 << 8) | j2;
}

// JIS pair -> Shift_JIS pair.
inline unsigned JisPairToSjis(unsigned j1, unsigned j2) {
    const unsigned s1 = (((j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0)) & 0xFF;
    unsigned s2;
    if ((j1 & 1) == 0)
        s2 = j2 + 0x7E;
    else
        s2 = j2 <= 0x5F ? j2 + 0x1F : j2 + 0x20;
    return (s1 << 8) | (s2 & 0xFF);
}

constexpr unsigned kGetaSjis = 0x81AC;  // GETA MARK, for what JIS cannot carry

inline bool IsSjisLead(unsigned a) { return (a >= 0x81 && a <= 0x9F) || (a >= 0xE0 && a <= 0xFC); }
inline bool IsSjisTrail(unsigned b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// Two-byte codes numbered in order, counting valid trails only (188 per lead).
inline unsigned CellNumber(unsigned pair) {
    const unsigned b = pair & 0xFF;
    return (pair >> 8) * 188 + b - (b > 0x7F ? 0x41 : 0x40);
}
inline unsigned CellAt(unsigned number) {
    const unsigned t = number % 188;
    return ((number / 188) << 8) | (t + (t >= 0x3F ? 0x41 : 0x40));
}

// IBM extension (FA40..FC4B) -> the Shift_JIS code of the same character that JIS can carry:
// the NEC-selected IBM extension (ED40..EEFC, JIS rows 89-92), NEC row 13 or JIS X 0208.
unsigned IbmExtensionToSjis(unsigned pair) {
    const unsigned k = CellNumber(pair) - CellNumber(0xFA40);
    if (k < 10) return CellAt(CellNumber(0xEEEF) + k);       // small roman numerals
    if (k < 20) return CellAt(CellNumber(0x8754) + k - 10);  // roman numerals
    // FA54..FA5B: not sign, broken bar, apostrophe, quotation mark, parenthesized kabushiki,
    // numero, telephone sign, because.
    constexpr unsigned kSymbols[8] = {0x81CA, 0xEEFA, 0xEEFB, 0xEEFC,
                                      0x878A, 0x8782, 0x8784, 0x81E6};
    if (k < 28) return kSymbols[k - 20];
    return CellAt(CellNumber(0xED40) + k - 28);  // kanji, in the same order
}

// The JIS pair for a Shift_JIS pair, or 0 when the lead has no valid trail.
unsigned SjisPairToMailJis(unsigned a, unsigned b) {
    if (!IsSjisLead(a) || !IsSjisTrail(b)) return 0;
    unsigned pair = (a << 8) | b;
    if (a >= 0xF0) {
        if (pair < 0xFA40 || pair > 0xFC4B) return SjisPairToJis(kGetaSjis >> 8, kGetaSjis & 0xFF);
        pair = IbmExtensionToSjis(pair);
    }
    return SjisPairToJis(pair >> 8, pair & 0xFF);
}

// Pair conversions for every (first << 8 | second), each entry holding the two output bytes in
// memory order so that one 16-bit store writes them: the converters' inner loops are lookups.
// A zero sjisToJis entry marks a lead byte without a valid trail.
struct PairTables {
    std::uint16_t sjisToJis[65536];
    std::uint16_t jisToSjis[65536];
};

std::uint16_t InMemoryOrder(unsigned pair) {
    const Byte bytes[2] = {static_cast<Byte>(pair >> 8), static_cast<Byte>(pair)};
    std::uint16_t v;
    std::memcpy(&v, bytes, 2);
    return v;
}

const PairTables& Tables() {
    static const PairTables* const tables = [] {
        auto* t = new PairTables;
        for (unsigned a = 0; a < 256; ++a) {
            for (unsigned b = 0; b < 256; ++b) {
                const unsigned jis = SjisPairToMailJis(a, b);
                t->sjisToJis[(a << 8) | b] = jis ? InMemoryOrder(jis) : 0;
                t->jisToSjis[(a << 8) | b] = InMemoryOrder(JisPairToSjis(a, b));
            }
        }
        return t;
    }();
    return *tables;
}

const std::uint16_t kGetaJis = InMemoryOrder(SjisPairToJis(kGetaSjis >> 8, kGetaSjis & 0xFF));

inline std::size_t AsciiRunEnd(const Byte* s, std::size_t i, std::size_t n) {
    while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080ull) break;
        i += 8;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

inline const Byte* Bytes(std::string_view t) { return reinterpret_cast<const Byte*>(t.data()); }

// Shared by SjisToJis and EucToJis: one-byte text is copied in runs, kanji mode opens before
// the first 8-bit byte and closes with ESC ( B before the next byte below 0x80 (CR and LF
// included), so "~" and "\" stay ASCII for every reader.
template <bool kEuc>
std::string ToJis(std::string_view text) {
    const Byte* s = Bytes(text);
    const std::size_t n = text.size();
    const PairTables& tables = Tables();
    Writer w(n + n / 4);
    bool kanji = false;
    std::size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            if (kanji) {
                w.Room();
                w.Escape(JisAsciiEscape);
                kanji = false;
            }
            const std::size_t j = AsciiRunEnd(s, i, n);
            w.Append(text.data() + i, j - i);
            i = j;
            continue;
        }
        if (!kanji) {
            w.Room();
            w.Escape(JisKanjiEscape);
            kanji = true;
        }
        while (i < n && s[i] >= 0x80) {
            w.Room();
            const Byte c = s[i];
            const Byte next = i + 1 < n ? s[i + 1] : 0;
            if constexpr (kEuc) {
                if (c == 0x8E && IsKana(next)) {
                    // Every kana byte, marks included, comes behind its own 0x8E.
                    const Byte mark = (i + 3 < n && s[i + 2] == 0x8E) ? s[i + 3] : 0;
                    bool markUsed;
                    w.Put2(KanaToJis(next, mark, markUsed));
                    i += markUsed ? 4 : 2;
                } else {
                    w.Put2(((c & 0x7Fu) << 8) | (next & 0x7Fu));
                    i += 2;
                }
            } else {
                if (IsKana(c)) {
                    bool markUsed;
                    w.Put2(KanaToJis(c, next, markUsed));
                    i += markUsed ? 2 : 1;
                } else if (const std::uint16_t jis = tables.sjisToJis[(c << 8) | next]) {
                    w.PutRaw(jis);
                    i += 2;
                } else {
                    w.PutRaw(kGetaJis);
                    i += 1;
                }
            }
        }
    }
    return w.Finish();
}

// Shared by JisToSjis and JisToEuc: an ESC takes three bytes; "$" opens kanji mode, "(" closes.
template <bool kEuc>
std::string FromJis(std::string_view text) {
    const Byte* s = Bytes(text);
    const std::size_t n = text.size();
    const PairTables& tables = Tables();
    Writer w(n);
    bool kanji = false;
    std::size_t i = 0;
    while (i < n) {
        const Byte c = s[i];
        if (c == 0x1B) {
            const Byte d = i + 1 < n ? s[i + 1] : 0;
            if (d == '$')
                kanji = true;
            else if (d == '(')
                kanji = false;
            i += 3;
            continue;
        }
        if (!kanji) {
            const void* esc = std::memchr(s + i, 0x1B, n - i);
            const std::size_t j =
                esc ? static_cast<std::size_t>(static_cast<const Byte*>(esc) - s) : n;
            w.Append(text.data() + i, j - i);
            i = j;
            continue;
        }
        w.Room();
        if constexpr (kEuc) {
            w.Put(c >= 0x21 && c <= 0x7E ? (c | 0x80) : c);
            i += 1;
        } else {
            const Byte b = i + 1 < n ? s[i + 1] : 0;
            w.PutRaw(tables.jisToSjis[(c << 8) | b]);
            i += 2;
        }
    }
    return w.Finish();
}

}  // namespace

JapaneseCode DetectCode(std::string_view text) {
    const Byte* s = Bytes(text);
    const std::size_t n = text.size();
    // The last byte is not scanned.
    for (std::size_t i = 0; i < ControlScanLength && i + 1 < n; ++i) {
        if (s[i] < 0x08 || s[i] == 0xFF) return JapaneseCode::NonText;
    }
    auto at = [&](std::size_t i) -> Byte { return i < n ? s[i] : 0; };
    JapaneseCode result = JapaneseCode::Ascii;
    std::size_t i = 0;  // the walk stops before the last byte: it is never a lead byte
    while ((result == JapaneseCode::Ascii || result == JapaneseCode::EucOrSjis) && i + 1 < n) {
        const Byte c = s[i];
        if (c == 0x1B) {
            ++i;
            if (at(i) == 0x24) {
                ++i;
                if (at(i) == 0x42)
                    result = JapaneseCode::JisNew;
                else if (at(i) == 0x40)
                    result = JapaneseCode::JisOld;
            }
        } else if (c < 0x08 || c == 0xFF) {
            result = JapaneseCode::NonText;
        } else if (c <= 0x7F) {
        } else if ((c >= 0x81 && c <= 0x8D) || (c >= 0x8F && c <= 0x9F)) {
            result = JapaneseCode::Sjis;
        } else if (c == 0x8E) {
            const Byte d = at(++i);
            if ((d >= 0x40 && d <= 0x7E) || (d >= 0x80 && d <= 0xA0) || (d >= 0xE0 && d <= 0xFC))
                result = JapaneseCode::Sjis;
            else if (d >= 0xA1 && d <= 0xDF)
                result = JapaneseCode::EucOrSjis;
        } else if (c >= 0xA1 && c <= 0xDF) {
            const Byte d = at(++i);
            if (d >= 0xF0 && d <= 0xFE) {
                result = JapaneseCode::Euc;
            } else if (d >= 0xA1 && d <= 0xDF) {
                result = JapaneseCode::EucOrSjis;
            } else if (d >= 0xE0 && d <= 0xEF) {
                result = JapaneseCode::EucOrSjis;
                while (i < n && s[i] >= 0x40 && result == JapaneseCode::EucOrSjis) {
                    const Byte e = s[i];
                    if ((e >= 0x81 && e <= 0x8D) || (e >= 0x8F && e <= 0x9C))
                        result = JapaneseCode::Sjis;
                    else if (e == 0xFD || e == 0xFE)
                        result = JapaneseCode::Euc;
                    ++i;
                }
            } else if (d <= 0x9F) {
                result = JapaneseCode::Sjis;
            }
        } else if (c >= 0xFD) {
            result = JapaneseCode::Euc;
        } else if (c >= 0xE0) {
            // 0xF0..0xFC lead user-defined and IBM extension codes in Shift_JIS (e.g. a name
            // typed on Linux), so they are undecided unless the next byte tells.
            const Byte d = at(++i);
            if ((d >= 0x40 && d <= 0x7E) || (d >= 0x80 && d <= 0xA0))
                result = JapaneseCode::Sjis;
            else if (d == 0xFD || d == 0xFE)
                result = JapaneseCode::Euc;
            else if (d >= 0xA1 && d <= 0xFC)
                result = JapaneseCode::EucOrSjis;
        }
        ++i;
    }
    return result;
}

std::string ConvertCode(std::string_view text, JapaneseCode target) {
    return ConvertCodeFrom(text, DetectCode(text), target);
}

std::string ConvertCodeFrom(std::string_view text, JapaneseCode source, JapaneseCode target) {
    using J = JapaneseCode;
    if (source == J::Ascii || source == J::NonText || source == target || source == J::EucOrSjis)
        return std::string(text);
    const bool jis = source == J::JisNew || source == J::JisOld;
    switch (target) {
        case J::JisNew:
            if (source == J::Euc) return EucToJis(text);
            if (source == J::Sjis) return SjisToJis(text);
            break;
        case J::Euc:
            if (jis) return JisToEuc(text);
            if (source == J::Sjis) return SjisToEuc(text);
            break;
        case J::Sjis:
            if (jis) return JisToSjis(text);
            if (source == J::Euc) return EucToSjis(text);
            break;
        default:
            break;
    }
    return std::string(text);
}

std::string SjisToJis(std::string_view text) { return ToJis<false>(text); }
std::string EucToJis(std::string_view text) { return ToJis<true>(text); }
std::string JisToSjis(std::string_view text) { return FromJis<false>(text); }
std::string JisToEuc(std::string_view text) { return FromJis<true>(text); }

std::string EucToSjis(std::string_view text) {
    const Byte* s = Bytes(text);
    const std::size_t n = text.size();
    const PairTables& tables = Tables();
    Writer w(n);
    std::size_t i = 0;
    while (i < n) {
        const Byte c = s[i];
        if (c <= 0x80 || c == 0xFF) {
            std::size_t j = AsciiRunEnd(s, i, n);
            while (j < n && (s[j] <= 0x80 || s[j] == 0xFF)) ++j;
            w.Append(text.data() + i, j - i);
            i = j;
            continue;
        }
        w.Room();
        if (c == 0x8E) {
            if (i + 1 < n) w.Put(s[i + 1]);
        } else {
            const Byte b = i + 1 < n ? s[i + 1] : 0;
            w.PutRaw(tables.jisToSjis[((c & 0x7Fu) << 8) | (b & 0x7Fu)]);
        }
        i += 2;
    }
    return w.Finish();
}

std::string SjisToEuc(std::string_view text) {
    const Byte* s = Bytes(text);
    const std::size_t n = text.size();
    const PairTables& tables = Tables();
    Writer w(n + n / 8);
    std::size_t i = 0;
    while (i < n) {
        const Byte c = s[i];
        if (c < 0x80) {
            const std::size_t j = AsciiRunEnd(s, i, n);
            w.Append(text.data() + i, j - i);
            i = j;
            continue;
        }
        w.Room();
        if (IsKana(c)) {
            w.Put(0x8E);
            w.Put(c);
            i += 1;
        } else {
            const Byte b = i + 1 < n ? s[i + 1] : 0;
            const std::uint16_t jis = tables.sjisToJis[(c << 8) | b];
            w.PutRaw((jis ? jis : kGetaJis) | 0x8080);
            i += jis ? 2 : 1;
        }
    }
    return w.Finish();
}

}  // namespace mail
