#pragma once
// Shift_JIS-aware scanning. A double-byte character's trail byte may equal "\", "/", ","
// or an ASCII letter; every search and case fold here walks whole characters so such a
// trail byte is never taken for a separator or folded.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::sjis {

inline constexpr std::size_t npos = std::string_view::npos;

// Lead byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length of the character starting at pos: 2 for a lead byte followed by any byte, else 1
// (a lead byte at the very end counts as one character).
std::size_t CharLength(std::string_view s, std::size_t pos);

// True when pos is the first byte of a character (or s.size()).
bool IsCharStart(std::string_view s, std::size_t pos);

// Start of the last character, or npos for an empty text.
std::size_t LastCharStart(std::string_view s);

// First whole single-byte character c at or after from (from must be a character start),
// or npos.
std::size_t Find(std::string_view s, char c, std::size_t from = 0);

// First whole single-byte character that is any of chars, at or after from, or npos.
std::size_t FindAnyOf(std::string_view s, std::string_view chars, std::size_t from = 0);

// Last whole single-byte character c, or npos.
std::size_t RFind(std::string_view s, char c);

// Replaces every whole single-byte character from by to.
std::string ReplaceAll(std::string_view s, char from, char to);

// Folds single-byte A-Z to a-z; double-byte characters stay byte for byte.
std::string FoldCase(std::string_view s);

// Compares as FoldCase(a) against FoldCase(b) by unsigned bytes: <0, 0, >0.
int CompareNoCase(std::string_view a, std::string_view b);
// The first eight bytes of FoldCase(s) as a big-endian number, zeros after its end. Where the
// keys of two texts differ, they order the texts as CompareNoCase does; equal keys decide
// nothing. Sorting by it first keeps most comparisons off the texts themselves.
std::uint64_t FoldedKey(std::string_view s);

inline bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

}  // namespace platform::sjis
