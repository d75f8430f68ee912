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

int CompareNoCase(std::string_view a, std::string_view b) {
    // Both texts are walked byte by byte in step, each with its own character boundaries,
    // so this equals comparing FoldCase(a) with FoldCase(b) without allocating.
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    bool trailA = false, trailB = false;
    for (std::size_t k = 0; k < n; ++k) {
        const bool singleA = !trailA && CharLength(a, k) == 1;
        const bool singleB = !trailB && CharLength(b, k) == 1;
        const auto ca = static_cast<unsigned char>(singleA ? FoldByte(a[k]) : a[k]);
        const auto cb = static_cast<unsigned char>(singleB ? FoldByte(b[k]) : b[k]);
        if (ca != cb) return ca < cb ? -1 : 1;
        trailA = !trailA && !singleA;
        trailB = !trailB && !singleB;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace platform::sjis
