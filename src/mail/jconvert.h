#pragma once
// Classification and conversion of Japanese byte strings between Shift_JIS, JIS (ISO-2022-JP)
// and EUC-JP. Stateless: every operation takes a byte string and returns a new one.
#include <string>
#include <string_view>

namespace mail {

enum class JapaneseCode : int {
    Ascii = 0,      // nothing but 7-bit bytes
    NonText = 1,    // a byte below 0x08, or 0xFF
    JisNew = 2,     // ESC $ B met
    JisOld = 3,     // ESC $ @ met
    Euc = 4,        // EUC-JP
    Sjis = 5,       // Shift_JIS
    EucOrSjis = 6,  // valid as both; undecided
};

// Leading bytes scanned for control bytes (below 0x08) and 0xFF.
inline constexpr std::size_t ControlScanLength = 512;

JapaneseCode DetectCode(std::string_view text);

// Source found by DetectCode. Targets other than JisNew, Euc and Sjis leave the text unchanged.
std::string ConvertCode(std::string_view text, JapaneseCode target);
std::string ConvertCodeFrom(std::string_view text, JapaneseCode source, JapaneseCode target);

// Towards JIS, one-byte text resumes with ESC ( B (ASCII), and kanji mode is never closed at
// the end of the text: callers append ESC ( B. SjisToJis writes only bytes 0x21..0x7E in kanji
// mode: IBM extension codes (FA40..FC4B) become the NEC-selected or JIS X 0208 character they
// duplicate, other unmappable pairs become GETA MARK, and a lead byte without a valid trail
// becomes GETA MARK on its own (the next byte is read by itself, so a line end survives).
std::string SjisToJis(std::string_view text);
std::string SjisToEuc(std::string_view text);
std::string JisToSjis(std::string_view text);
std::string JisToEuc(std::string_view text);
std::string EucToJis(std::string_view text);
std::string EucToSjis(std::string_view text);

// ESC ( B: back to one-byte ASCII; what every converter towards JIS writes.
inline constexpr std::string_view JisAsciiEscape = "\x1b(B";
// ESC ( J: back to one-byte JIS X 0201 Roman (0x5C yen, 0x7E overline); still read, and
// closes the JIS of expanded encoded words on receipt.
inline constexpr std::string_view JisRomanEscape = "\x1b(J";
// ESC $ B: JIS X 0208 two-byte text.
inline constexpr std::string_view JisKanjiEscape = "\x1b$B";

}  // namespace mail
