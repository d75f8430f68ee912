#include "platform/sjis.h"

namespace platform::sjis {

std::size_t CharLength(std::string_view s, std::size_t pos) {
    if (pos >= s.size()) return 0;
    if (IsLeadByte(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size()) return 2;
    return 1;
}

bool IsCharStart(std::string_view s, std::size_t pos) {
    std::size_t i = 0;
    while (i < pos && i < s.size()) i += CharLength(s, i);
    return i == pos;
}

std::size_t LastCharStart(std::string_view s) {
    std::size_t last = npos;
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) last = i;
    return last;
}

std::size_t Find(std::string_view s, char c, std::size_t from) {
    for (std::size_t i = from; i < s.size(); i += CharLength(s, i)) {
        if (s[i] == c && CharLength(s, i) == 1) return i;
    }
    return npos;
}

std::size_t FindAnyOf(std::string_view s, std::string_view chars, std::size_t from) {
    for (std::size_t i = from; i < s.size(); i += CharLength(s, i)) {
        if (CharLength(s, i) == 1 && chars.find(s[i]) != std::string_view::npos) return i;
    }
    return npos;
}

std::size_t RFind(std::string_view s, char c) {
    std::size_t found = npos;
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
        if (s[i] == c && CharLength(s, i) == 1) found = i;
    }
    return found;
}

std::string ReplaceAll(std::string_view s, char from, char to) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
        if (out[i] == from && CharLength(out, i) == 1) out[i] = to;
    }
    return out;
}

namespace {
char FoldByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string FoldCase(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t n = CharLength(out, i);
        if (n == 1) out[i] = FoldByte(out[i]);
        i += n;
    }
    return out;
}

std::uint64_t FoldedKey(std::string_view s) {
    std::uint64_t key = 0;
    std::size_t i = 0;
    while (i < 8 && i < s.size()) {
        const std::size_t n = CharLength(s, i);
        const auto c = static_cast<unsigned char>(n == 1 ? FoldByte(s[i]) : s[i]);
        key |= std::uint64_t{c} << (8 * (7 - i));
        if (n == 2 && i + 1 < 8)
            key |= std::uint64_t{static_cast<unsigned char>(s[i + 1])} << (8 * (6 - i));
        i += n;
    }
    return key;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    // Equal so far (ignoring case) means both texts have their character boundaries in the
    // same places, so one state serves both. Runs of identical bytes, the common case in a
    // sorted list, are skipped without looking at characters; where they differ, whether
    // that byte is a trail byte follows from the lead-range bytes just before it (an odd
    // run means it is). This equals comparing FoldCase(a) with FoldCase(b), without copies.
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    std::size_t k = 0;
    for (;;) {
        while (k < n && a[k] == b[k]) ++k;
        if (k == n) break;
        std::size_t leads = 0;
        while (leads < k && IsLeadByte(static_cast<unsigned char>(a[k - 1 - leads]))) ++leads;
        const bool trail = leads % 2 == 1;
        const bool singleA = !trail && CharLength(a, k) == 1;
        const bool singleB = !trail && CharLength(b, k) == 1;
        const auto ca = static_cast<unsigned char>(singleA ? FoldByte(a[k]) : a[k]);
        const auto cb = static_cast<unsigned char>(singleB ? FoldByte(b[k]) : b[k]);
        if (ca != cb) return ca < cb ? -1 : 1;
        ++k;  // two single letters that differ only in case
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace platform::sjis
