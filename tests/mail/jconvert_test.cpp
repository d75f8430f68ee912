// Japanese code detection and conversion: case tables run whole and split, the half-width
// katakana table, and a comparison with glibc iconv over the whole JIS X 0208 repertoire.
#include "mail/jconvert.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "jis_check.h"

namespace mail {
namespace {

using J = JapaneseCode;
const std::string kIn = "\x1b$B";
const std::string kOut = "\x1b(B";     // what every converter towards JIS writes
const std::string kGeta = "\x22\x2E";  // GETA MARK in JIS

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
}

TEST(DetectCode, Table) {
    struct Case {
        std::string text;
        J expected;
    };
    std::string control(600, 'a');
    control[510] = '\x07';  // position 511
    std::string lateControl = "\x82\xA0" + std::string(600, 'a');
    lateControl[590] = '\x07';  // classification already ended at Sjis
    const std::vector<Case> cases = {
        {"", J::Ascii},
        {"\xB1", J::Ascii},  // the last byte is never examined
        {"\x07", J::Ascii},
        {"plain text\r\n", J::Ascii},
        {control, J::NonText},
        {lateControl, J::Sjis},
        {"\x07"
         "a",
         J::NonText},
        {"\xFF"
         "a",
         J::NonText},
        {"a\x1b$Bxx", J::JisNew},
        {"a\x1b$@xx", J::JisOld},
        {"\x1b(Jabc", J::Ascii},
        {"\x1b$", J::Ascii},  // escape cut short at the end
        {"\x82\xA0", J::Sjis},
        {"\x9F\x40", J::Sjis},
        {"\xB0\xA1", J::EucOrSjis},
        {"\xA4\xA2\xA4\xF3", J::Euc},  // first pair undecided, then a trail only EUC has
        {"\xFD\xA1", J::Euc},
        {"\xF0\xA1", J::EucOrSjis},     // user-defined in Shift_JIS, row 80 in EUC-JP
        {"\xFB\xFC\x8B\xB4", J::Sjis},  // IBM extension kanji first, then a plain one
        {"\xFA\x5C", J::Sjis},          // a trail EUC-JP cannot have
        {"\x8E\x40", J::Sjis},
        {"\x8E\xB1", J::EucOrSjis},
        {"\x8E\xE0", J::Sjis},
        {"\xE0\x40", J::Sjis},
        {"\xE0\xFD", J::Euc},
        {"\xE0\xA1", J::EucOrSjis},
        {"\xB0\x40", J::Sjis},
        {"\xB0\xE0\x88", J::Sjis},  // look-ahead finds an Shift_JIS-only byte
        {"\xB0\xE0\xFD", J::Euc},
        {"\xB0\xE0\xE0", J::EucOrSjis},
        {"\xB0\xE0 \x88\x9F", J::Sjis},  // look-ahead ends below 0x40; the walk goes on
        {"\xB0\xA1\x82\xA0", J::Sjis},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(DetectCode(c.text), c.expected);
    }
}

struct ConvCase {
    std::function<std::string(std::string_view)> convert;
    const char* name;
    std::string input;
    std::string expected;
};

std::vector<ConvCase> ConverterCases() {
    return {
        {SjisToJis, "SjisToJis", "", ""},
        {SjisToJis, "SjisToJis",
         "\x82\xA0"
         "a",
         kIn + "\x24\x22" + kOut + "a"},
        {SjisToJis, "SjisToJis", "\x82\xA0", kIn + "\x24\x22"},
        {SjisToJis, "SjisToJis", "\x8A\xBF\x8E\x9A", kIn + "\x34\x41\x3B\x7A"},
        {SjisToJis, "SjisToJis", "\xEA\xA4", kIn + "\x74\x26"},
        {SjisToJis, "SjisToJis", "\xB6\xDE", kIn + "\x25\x2C"},
        {SjisToJis, "SjisToJis", "\xCA\xDF", kIn + "\x25\x51"},
        {SjisToJis, "SjisToJis", "\xCA\xDE", kIn + "\x25\x50"},
        {SjisToJis, "SjisToJis", "\xB3\xDE", kIn + "\x25\x74"},
        {SjisToJis, "SjisToJis", "\xB1\xDE", kIn + "\x25\x22\x21\x2B"},
        {SjisToJis, "SjisToJis", "\xB6\xDF", kIn + "\x25\x2B\x21\x2C"},
        {SjisToJis, "SjisToJis", "\xC4\xDE\xC5\xDE", kIn + "\x25\x49\x25\x4A\x21\x2B"},
        {SjisToJis, "SjisToJis", "\xDE", kIn + "\x21\x2B"},
        {SjisToJis, "SjisToJis", "\x82\xA0\r\n\x82\xA2",
         kIn + "\x24\x22" + kOut + "\r\n" + kIn + "\x24\x24"},
        {SjisToJis, "SjisToJis", "\x82\xA0\r\nx", kIn + "\x24\x22" + kOut + "\r\nx"},
        // A lead without a valid trail is GETA MARK, and the next byte is read by itself.
        {SjisToJis, "SjisToJis", "a\x88", "a" + kIn + kGeta},
        {SjisToJis, "SjisToJis", "\x88\r\n", kIn + kGeta + kOut + "\r\n"},
        {SjisToJis, "SjisToJis", "\x82\x7F\x82\xA0",
         kIn + kGeta + kOut + "\x7F" + kIn + "\x24\x22"},
        {SjisToJis, "SjisToJis", "\x80\xA0\xFD\xFF", kIn + kGeta + kGeta + kGeta + kGeta},
        {SjisToJis, "SjisToJis", "\x82\xFD\x40", kIn + kGeta + kGeta + kOut + "\x40"},
        // User-defined codes and codes past the IBM extension: GETA MARK for the pair.
        {SjisToJis, "SjisToJis", "\xF0\x40\xF9\xFC\xFC\x4C", kIn + kGeta + kGeta + kGeta},
        // IBM extension: small roman numeral one, roman numeral one, not sign, kabushiki,
        // because, and the kanji of the names 髙, 﨑, 纊 -> rows 92, 13, 2, 13, 2, 89-92.
        {SjisToJis, "SjisToJis", "\xFA\x40\xFA\x4A\xFA\x54\xFA\x58\xFA\x5B\xFB\xFC\xFA\xB1\xFA\x5C",
         kIn + "\x7C\x71\x2D\x35\x22\x4C\x2D\x6A\x22\x68\x7C\x62\x79\x75\x79\x21"},
        {EucToJis, "EucToJis",
         "\xA4\xA2"
         "a",
         kIn + "\x24\x22" + kOut + "a"},
        {EucToJis, "EucToJis", "\x8E\xB6\x8E\xDE", kIn + "\x25\x2C"},
        {EucToJis, "EucToJis", "\x8E\xB3\x8E\xDE", kIn + "\x25\x74"},
        {EucToJis, "EucToJis", "\x8E\xCA\x8E\xDF", kIn + "\x25\x51"},
        {EucToJis, "EucToJis", "\x8E\xB1\x8E\xDE", kIn + "\x25\x22\x21\x2B"},
        {EucToJis, "EucToJis", "\xA4\xA2\n\xA4\xA4",
         kIn + "\x24\x22" + kOut + "\n" + kIn + "\x24\x24"},
        {EucToJis, "EucToJis", "\xA4", kIn + Bytes({0x24, 0x00})},
        {JisToSjis, "JisToSjis", kIn + "\x24\x22" + kOut + "a",
         "\x82\xA0"
         "a"},
        {JisToSjis, "JisToSjis", "\x1b$@\x24\x22\x1b(Ba",
         "\x82\xA0"
         "a"},
        {JisToSjis, "JisToSjis", kIn + "\x34\x41\x3B\x7A" + kOut, "\x8A\xBF\x8E\x9A"},
        {JisToSjis, "JisToSjis", kIn + "\x24", "\x82\x7E"},
        {JisToSjis, "JisToSjis", "a\x1b", "a"},
        {JisToSjis, "JisToSjis", "\x1bKXa", "a"},
        {JisToEuc, "JisToEuc", kIn + "\x24\x22" + kOut + "a",
         "\xA4\xA2"
         "a"},
        {JisToEuc, "JisToEuc", kIn + "\x24\x22\n", "\xA4\xA2\n"},
        {EucToSjis, "EucToSjis",
         "\xA4\xA2"
         "a",
         "\x82\xA0"
         "a"},
        {EucToSjis, "EucToSjis", "\x8E\xB1", "\xB1"},
        {EucToSjis, "EucToSjis",
         "\x80"
         "a\xFF",
         "\x80"
         "a\xFF"},
        {EucToSjis, "EucToSjis", "\xA4", "\x82\x7E"},
        {EucToSjis, "EucToSjis", "\x8E", ""},
        {SjisToEuc, "SjisToEuc",
         "\x82\xA0"
         "a\xB1",
         "\xA4\xA2"
         "a\x8E\xB1"},
        {SjisToEuc, "SjisToEuc", "\x82", "\xA2\xAE"},
        {SjisToEuc, "SjisToEuc", "\xFB\xFC\x82", "\xFC\xE2\xA2\xAE"},
    };
}

TEST(Converters, Table) {
    for (const ConvCase& c : ConverterCases()) {
        SCOPED_TRACE(std::string(c.name) + " " + testing::PrintToString(c.input));
        EXPECT_EQ(c.convert(c.input), c.expected);
    }
}

// Character starts of a Shift_JIS or EUC-JP text (lead bytes take their trail with them).
std::vector<std::size_t> CharStarts(std::string_view text, bool euc) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size();) {
        starts.push_back(i);
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool single = c < 0x80 || (!euc && c >= 0xA1 && c <= 0xDF);
        i += single ? 1 : 2;
    }
    return starts;
}

// Split runs: a Shift_JIS or EUC-JP text fed as two pieces. Towards Shift_JIS and EUC-JP the
// pieces concatenate to the whole; towards JIS each piece is closed with ESC ( B, and the JIS
// text reads back the same. A Shift_JIS lead split from its trail is GETA MARK; an EUC-JP lead
// pairs with 0x00.
TEST(Converters, SplitAtEveryByte) {
    const std::string sjis = "a\x82\xA0\xB6\xDE\r\n\x8A\xBF.\xCA\xDF\xB1\x82\xA2x";
    const std::string euc = SjisToEuc(sjis);
    struct Source {
        std::string text;
        bool euc;
        std::function<std::string(std::string_view)> toJis, toOther, jisBack;
    };
    const std::vector<Source> sources = {
        {sjis, false, SjisToJis, SjisToEuc, JisToSjis},
        {euc, true, EucToJis, EucToSjis, JisToEuc},
    };
    for (const Source& s : sources) {
        const auto starts = CharStarts(s.text, s.euc);
        for (std::size_t k = 1; k < s.text.size(); ++k) {
            SCOPED_TRACE("euc=" + std::to_string(s.euc) + " split at " + std::to_string(k));
            const std::string head = s.text.substr(0, k), tail = s.text.substr(k);
            const bool boundary = std::find(starts.begin(), starts.end(), k) != starts.end();
            // A voiced or semi-voiced mark combines with the kana before it only within a piece.
            const std::size_t markAt = s.euc ? k + 1 : k;
            const bool splitsMark =
                markAt < s.text.size() && (s.text[markAt] == '\xDE' || s.text[markAt] == '\xDF');
            if (boundary) {
                EXPECT_EQ(s.toOther(head) + s.toOther(tail), s.toOther(s.text));
                const std::string joined = s.toJis(head) + kOut + s.toJis(tail) + kOut;
                if (splitsMark) {
                    EXPECT_NE(s.jisBack(joined), s.jisBack(s.toJis(s.text) + kOut));
                } else {
                    EXPECT_EQ(s.jisBack(joined), s.jisBack(s.toJis(s.text) + kOut));
                }
            } else if (s.euc) {
                // The head ends with a lead byte: it converts as if followed by 0x00.
                const std::string padded = head + std::string(1, '\0');
                if (head.back() != '\x8E') {  // a trailing single shift is just dropped
                    EXPECT_EQ(s.toOther(head), s.toOther(padded));
                }
                EXPECT_EQ(s.toJis(head), s.toJis(padded));
            } else {
                // The head ends with a lead byte, which is GETA MARK by itself.
                const std::string before = head.substr(0, k - 1);
                const std::string jis = s.toJis(head);
                EXPECT_EQ(jis.substr(jis.size() - 2), kGeta);
                EXPECT_EQ(s.toOther(head), s.toOther(before) + "\xA2\xAE");
            }
        }
    }
    // JIS input split at every byte and fed with the mode restated: same Shift_JIS text.
    const std::string jis = SjisToJis(sjis) + kOut;
    bool kanji = false;
    for (std::size_t k = 0; k < jis.size(); ++k) {
        if (jis[k] == '\x1b') {
            kanji = jis[k + 1] == '$';
            k += 2;
            continue;
        }
        const std::size_t split = k;
        SCOPED_TRACE("jis split at " + std::to_string(split));
        const std::string head = jis.substr(0, split) + kOut;
        const std::string tail = (kanji ? kIn : std::string()) + jis.substr(split);
        if (kanji && (split - jis.rfind('\x1b', split)) % 2 == 0) continue;  // inside a pair
        EXPECT_EQ(JisToSjis(head) + JisToSjis(tail), JisToSjis(jis));
        EXPECT_EQ(JisToEuc(head) + JisToEuc(tail), JisToEuc(jis));
        if (kanji) ++k;
    }
}

TEST(ConvertCode, SourceAndTarget) {
    std::string control(511, 'a');
    control[100] = '\x07';
    control += "\x82\xA0";
    struct Case {
        std::string text;
        J target;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"", J::Sjis, ""},
        {"\xB1", J::JisNew, "\xB1"},
        {"\xB0\xA1", J::Sjis, "\xB0\xA1"},
        {"\xB0\xA1", J::JisNew, "\xB0\xA1"},
        {control, J::JisNew, control},
        {kIn + "\x24\x22" + kOut, J::Sjis, "\x82\xA0"},
        {"\x1b$@\x24\x22", J::Euc, "\xA4\xA2"},
        {kIn + "\x24\x22" + kOut, J::JisNew, kIn + "\x24\x22" + kOut},
        {"\xA4\xA2\xA4\xF3", J::Sjis, "\x82\xA0\x82\xF1"},
        {"\xA4\xA2\xA4\xF3", J::JisNew, kIn + "\x24\x22\x24\x73"},
        {"\x82\xA0\x82\xF1", J::JisNew, kIn + "\x24\x22\x24\x73"},
        {"\x82\xA0\x82\xF1", J::Euc, "\xA4\xA2\xA4\xF3"},
        {"\x82\xA0\x82\xF1", J::Ascii, "\x82\xA0\x82\xF1"},
        {"\x82\xA0\x82\xF1", static_cast<J>(9), "\x82\xA0\x82\xF1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(ConvertCode(c.text, c.target), c.expected);
    }
    EXPECT_EQ(ConvertCodeFrom("\xB0\xA1", J::Sjis, J::Euc), "\x8E\xB0\x8E\xA1");  // no detection
    EXPECT_EQ(ConvertCodeFrom("\x82\xA0", J::EucOrSjis, J::JisNew), "\x82\xA0");
}

std::optional<std::string> Iconv(const char* from, const char* to, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    if (r != static_cast<std::size_t>(-1)) r = iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || srcLeft != 0) return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
}

TEST(HalfWidthKatakana, TableMatchesFullWidthForms) {
    std::string kana;
    for (int c = 0xA1; c <= 0xDF; ++c) kana.push_back(static_cast<char>(c));
    // In this order no kana is followed by a mark it combines with.
    const std::string full =
        "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘ"
        "ホ"
        "マミムメモヤユヨラリルレロワン゛゜";
    const auto expected = Iconv("UTF-8", "ISO-2022-JP", full);
    ASSERT_TRUE(expected);
    EXPECT_EQ(SjisToJis(kana) + kOut, *expected);
    std::string eucKana;
    for (char k : kana) eucKana += std::string("\x8E") + k;
    EXPECT_EQ(EucToJis(eucKana) + kOut, *expected);

    const std::string voiced = "ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞﾊﾞﾋﾞﾌﾞﾍﾞﾎﾞﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟｳﾞﾅﾞﾏﾟ";
    const std::string voicedFull = "ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポヴナ゛マ゜";
    const auto voicedSjis = Iconv("UTF-8", "CP932", voiced);
    const auto voicedJis = Iconv("UTF-8", "ISO-2022-JP", voicedFull);
    ASSERT_TRUE(voicedSjis && voicedJis);
    EXPECT_EQ(SjisToJis(*voicedSjis) + kOut, *voicedJis);
    EXPECT_EQ(EucToJis(SjisToEuc(*voicedSjis)) + kOut, *voicedJis);
}

// Every two-byte code of rows 1 to 94 against glibc iconv, and round trips through all three
// encodings. Codes iconv does not know (unassigned cells, the vendor rows 13 and 89-92) are
// compared by round trip only: they read back to the same Shift_JIS codes.
TEST(Converters, AgreeWithIconvOverJisX0208) {
    int compared = 0;
    for (int row = 1; row <= 94; ++row) {
        for (int cell = 1; cell <= 94; ++cell) {
            const std::string pair = Bytes({0x20 + row, 0x20 + cell});
            const std::string jis = kIn + pair + kOut;
            const std::string sjis = JisToSjis(jis);
            const std::string euc = JisToEuc(jis);
            SCOPED_TRACE(testing::PrintToString(pair));
            ASSERT_EQ(sjis.size(), 2u);
            EXPECT_EQ(euc, Bytes({0xA0 + row, 0xA0 + cell}));
            EXPECT_EQ(SjisToJis(sjis) + kOut, jis);
            EXPECT_EQ(EucToJis(euc) + kOut, jis);
            EXPECT_EQ(SjisToEuc(sjis), euc);
            EXPECT_EQ(EucToSjis(euc), sjis);
            EXPECT_EQ(DetectCode(sjis + "a") != J::Ascii, true);

            const auto viaEuc = Iconv("EUC-JP", "SHIFT_JIS", euc);
            const auto viaJis = Iconv("ISO-2022-JP", "EUC-JP", jis);
            if (!viaEuc || !viaJis) continue;
            EXPECT_EQ(*viaEuc, sjis);
            EXPECT_EQ(*viaJis, euc);
            const auto jisFromSjis = Iconv("SHIFT_JIS", "ISO-2022-JP", sjis);
            ASSERT_TRUE(jisFromSjis);
            EXPECT_EQ(*jisFromSjis, jis);  // byte for byte, ESC ( B included
            ++compared;
        }
    }
    // Rows 1-84 hold 6879 assigned characters (iconv has them all outside row 13).
    EXPECT_GT(compared, 6800);
}

}  // namespace
}  // namespace mail

namespace mail {
namespace {

// Every IBM extension code reaches JIS as the same character (as glibc's CP932 reads both),
// inside rows that ISO-2022-JP readers of the Windows and browser family know.
TEST(Converters, IbmExtensionKeepsItsCharacter) {
    int codes = 0;
    for (int lead = 0xFA; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F || (lead == 0xFC && trail > 0x4B)) continue;
            const std::string sjis = Bytes({lead, trail});
            SCOPED_TRACE(testing::PrintToString(sjis));
            const std::string jis = SjisToJis(sjis);
            ASSERT_EQ(jis.size(), 5u);
            const int row = jis[3] - 0x20;
            EXPECT_TRUE(row == 2 || row == 13 || (row >= 89 && row <= 92)) << row;
            const std::string back = JisToSjis(jis + kOut);
            EXPECT_NE(back, sjis);
            EXPECT_EQ(Iconv("CP932", "UTF-8", back), Iconv("CP932", "UTF-8", sjis));
            ++codes;
        }
    }
    EXPECT_EQ(codes, 388);
}

// Whatever the input, what goes towards JIS is 7-bit and kanji mode holds only whole pairs of
// printable bytes; fed whole and split at every byte.
TEST(Converters, JisOutputIsSevenBitForAnyInput) {
    std::mt19937 random(7);
    std::vector<std::string> inputs = {"\x88\r\n\x88", "\xFF\xFE\xFD\x80\xA0",
                                       "\xF0\x40\xFA\x40\xFC\xFC", "\x82\x0D\x0A"};
    for (int n = 0; n < 200; ++n) {
        std::string text(1 + random() % 40, '\0');
        for (char& c : text) c = static_cast<char>(random());
        std::replace(text.begin(), text.end(), '\x1b', 'e');  // an escape of the input's own
        inputs.push_back(text);
    }
    for (const std::string& text : inputs) {
        SCOPED_TRACE(testing::PrintToString(text));
        ASSERT_TRUE(IsCleanJis(SjisToJis(text) + kOut));
        for (std::size_t k = 1; k < text.size(); ++k)
            ASSERT_TRUE(
                IsCleanJis(SjisToJis(text.substr(0, k)) + kOut + SjisToJis(text.substr(k)) + kOut));
        // A line end is never taken as a trail byte.
        const auto ends = [](std::string_view t) {
            return std::count(t.begin(), t.end(), '\r') + std::count(t.begin(), t.end(), '\n');
        };
        EXPECT_EQ(ends(SjisToJis(text)), ends(text));
    }
}

}  // namespace
}  // namespace mail
