#include "mail/orb_util.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "mail/jconvert.h"
#include "mail/orb_msg.h"

namespace mail {

EUudecodeError::~EUudecodeError() = default;

namespace {

using Byte = unsigned char;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kJisWordStart = "=?ISO-2022-JP?B?";
constexpr std::string_view kWordEnd = "?=";

constexpr int kPad = 64;      // "=" in a group
constexpr int kInvalid = 65;  // outside the alphabet

constexpr std::array<Byte, 256> MakeDecodeTable() {
    std::array<Byte, 256> t{};
    for (auto& v : t) v = kInvalid;
    for (int i = 0; i < 64; ++i) t[static_cast<Byte>(kAlphabet[i])] = static_cast<Byte>(i);
    t['='] = kPad;
    return t;
}
constexpr std::array<Byte, 256> kDecode = MakeDecodeTable();

// Encodes one group of 1..3 bytes into 4 characters, padded with "=".
inline void EncodeGroup(const Byte* p, std::size_t count, char* out) {
    const unsigned v = (unsigned(p[0]) << 16) | (count > 1 ? unsigned(p[1]) << 8 : 0) |
                       (count > 2 ? unsigned(p[2]) : 0);
    out[0] = kAlphabet[(v >> 18) & 63];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = count > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out[3] = count > 2 ? kAlphabet[v & 63] : '=';
}

// Appends the bytes of one 4-character group; pad marks in third or fourth place shorten it.
// A group with a pad in first or second place yields nothing.
inline void DecodeGroup(const int v[4], std::string& out) {
    if (v[0] == kPad || v[1] == kPad) return;
    auto val = [](int x) { return static_cast<unsigned>(x >= 64 ? 0 : x); };
    const unsigned bits = (val(v[0]) << 18) | (val(v[1]) << 12) | (val(v[2]) << 6) | val(v[3]);
    out.push_back(static_cast<char>((bits >> 16) & 0xFF));
    if (v[2] == kPad) return;
    out.push_back(static_cast<char>((bits >> 8) & 0xFF));
    if (v[3] == kPad) return;
    out.push_back(static_cast<char>(bits & 0xFF));
}

std::string Upper(std::string_view text) {
    std::string u(text);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

std::string WrapJisWord(std::string_view jis) {
    std::string word(kJisWordStart);
    word += EncodeBase64(jis);
    word += kWordEnd;
    return word;
}

// Lenient Base64 of header words: leading spaces skipped, stops at a space or when fewer
// than 4 characters remain.
std::string DecodeWordBase64(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    std::string out;
    while (text.size() - i >= 4) {
        int v[4];
        bool space = false;
        for (int k = 0; k < 4; ++k) {
            const Byte c = static_cast<Byte>(text[i + k]);
            if (c == ' ') space = true;
            v[k] = kDecode[c];
        }
        if (space) break;
        DecodeGroup(v, out);
        i += 4;
    }
    return out;
}

int HexValue(Byte c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int UuValue(Byte c) {
    if (c == 0x60 || c == 0x20) return 0;
    if (c >= 0x21 && c <= 0x5F) return c - 0x20;
    return -1;
}

std::string RandomLetters(std::size_t count, char last) {
    std::mt19937_64 random(platform::ClockSeed());
    std::uniform_int_distribution<int> pick(0, last - 'a');
    std::string s;
    for (std::size_t i = 0; i < count; ++i) s.push_back(static_cast<char>('a' + pick(random)));
    return s;
}

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// Nearest integer, halves to even.
unsigned RoundedPercent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 100;
    const std::uint64_t scaled = done * 100;
    std::uint64_t q = scaled / total;
    const std::uint64_t r2 = (scaled % total) * 2;
    if (r2 > total || (r2 == total && (q & 1))) ++q;
    return static_cast<unsigned>(q);
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
    const Byte* p = reinterpret_cast<const Byte*>(bytes.data());
    const std::size_t n = bytes.size();
    std::string out((n + 2) / 3 * 4, '\0');
    char* o = out.data();
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3, o += 4) EncodeGroup(p + i, 3, o);
    if (i < n) EncodeGroup(p + i, n - i, o);
    return out;
}

std::string DecodeBase64(std::string_view text) {
    std::size_t count = 0;
    for (char c : text)
        if (c != '\r' && c != '\n' && c != '=') ++count;
    std::string out;
    out.reserve(count / 4 * 3 + 3);
    int v[4];
    int filled = 0;
    for (char ch : text) {
        if (ch == '\r' || ch == '\n') continue;
        v[filled++] = kDecode[static_cast<Byte>(ch)];
        if (filled == 4) {
            DecodeGroup(v, out);
            filled = 0;
        }
    }
    return out;
}

std::string EncodeHeaderWord(std::string_view sjis) {
    std::string jis = ConvertCodeFrom(sjis, JapaneseCode::Sjis, JapaneseCode::JisNew);
    jis += JisAsciiEscape;
    return WrapJisWord(jis);
}

std::string EncodeDisplayName(std::string_view sjis) {
    if (DetectCode(sjis) != JapaneseCode::Ascii) return EncodeHeaderWord(sjis);
    // A phrase of atoms may stand as it is; anything else becomes one quoted string.
    constexpr std::string_view kAtomText =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$%&'*+-/=?^_`{|}~ ";
    const bool phrase = !sjis.empty() && sjis.front() != ' ' && sjis.back() != ' ' &&
                        sjis.find_first_not_of(kAtomText) == std::string_view::npos;
    if (phrase) return std::string(sjis);
    std::string quoted = "\"";
    for (char c : sjis) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string EncodeAddress(std::string_view sjis) {
    const std::size_t lt = sjis.find('<');
    std::string_view display =
        lt == std::string_view::npos ? sjis.substr(0, 0) : sjis.substr(0, lt);
    const std::string_view address = lt == std::string_view::npos ? sjis : sjis.substr(lt);
    // The word stands apart from "<" by one blank of our own.
    while (!display.empty() && display.back() == ' ') display.remove_suffix(1);
    std::string word = EncodeHeaderWord(display);
    if (lt != std::string_view::npos) word += ' ';
    word += ConvertCodeFrom(address, JapaneseCode::Sjis, JapaneseCode::JisNew);
    return word;
}

std::string EncodeAddressList(std::string_view sjis) {
    if (sjis.find(',') != std::string_view::npos) {
        std::string out;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = sjis.find(',', start);
            out += EncodeAddress(sjis.substr(start, comma - start));
            if (comma == std::string_view::npos) break;
            out += SjisToJis(",");
            start = comma + 1;
        }
        return out;
    }
    if (sjis.find_first_of("; ") != std::string_view::npos) return std::string(sjis);
    return EncodeAddress(sjis);
}

std::optional<std::vector<std::string>> EncodeAttachmentFile(RenderSession& session,
                                                             const std::string& filePath,
                                                             const std::string& displayName) {
    std::ifstream in(filePath, std::ios::binary);
    if (!in)
        throw platform::FileError(filePath,
                                  "Cannot open " + filePath + ": " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(0, std::ios::beg);
    if (end < 0 || !in) throw platform::FileError(filePath, "Cannot read " + filePath);
    const auto size = static_cast<std::uint64_t>(end);
    session.EncodeStart(displayName, size);

    constexpr std::size_t kLineBytes = 57;
    constexpr std::size_t kBlock = 40 * kLineBytes;
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(size / kLineBytes + 1));
    std::string line;
    line.reserve(76);
    std::uint64_t encoded = 0;
    const unsigned step = session.EncodeProgressStep();
    unsigned threshold = step;
    unsigned lastReported = 0;
    auto addGroup = [&](const Byte* p, std::size_t count) {
        char four[4];
        EncodeGroup(p, count, four);
        line.append(four, 4);
    };

    std::array<char, kBlock> block;
    std::size_t got = 0;
    for (;;) {
        session.PumpEvents();
        if (session.AbortRequested()) return std::nullopt;
        in.read(block.data(), kBlock);
        got = static_cast<std::size_t>(in.gcount());
        if (got < kBlock) break;
        const Byte* p = reinterpret_cast<const Byte*>(block.data());
        for (std::size_t i = 0; i < kBlock; i += 3) {
            addGroup(p + i, 3);
            if (line.size() == 76) {
                lines.push_back(line);
                line.clear();
                encoded += kLineBytes;
                const unsigned percent = RoundedPercent(encoded, size);
                if (percent >= threshold) {
                    session.EncodeProgress(percent);
                    lastReported = percent;
                    threshold += step;
                }
                session.PumpEvents();
            }
        }
    }
    if (in.bad()) throw platform::FileError(filePath, "Cannot read " + filePath);
    // The rest of the file, group by group, without progress reports.
    const Byte* p = reinterpret_cast<const Byte*>(block.data());
    std::size_t i = 0;
    for (; i + 3 <= got; i += 3) {
        if (session.AbortRequested()) return std::nullopt;
        addGroup(p + i, 3);
        if (line.size() == 76) {
            lines.push_back(line);
            line.clear();
        }
    }
    if (i < got) addGroup(p + i, got - i);
    if (!line.empty()) lines.push_back(line);
    if (lastReported < 100) session.EncodeProgress(100);
    session.PumpEvents();
    if (session.AbortRequested()) return std::nullopt;
    session.EncodeEnd();
    return lines;
}

std::string DecodeJisWords(std::string_view header) {
    std::string text(header);
    for (;;) {
        const std::size_t start = Upper(text).find(kJisWordStart);
        if (start == std::string::npos) break;
        const std::size_t payloadStart = start + kJisWordStart.size();
        const std::size_t end = text.find(kWordEnd, payloadStart);
        if (end == std::string::npos) break;  // an unterminated word stays as it is
        std::string decoded =
            DecodeBase64(std::string_view(text).substr(payloadStart, end - payloadStart));
        decoded += JisRomanEscape;
        text.replace(start, end + kWordEnd.size() - start, decoded);
    }
    return text;
}

std::string DecodeHeaderWords(std::string_view header) {
    std::string text(header);
    for (;;) {
        const std::size_t open = text.find("=?");
        if (open == std::string::npos) break;
        const std::size_t charsetEnd = text.find('?', open + 2);
        if (charsetEnd == std::string::npos || charsetEnd + 2 >= text.size()) break;
        char letter = text[charsetEnd + 1];
        if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
        const std::size_t payloadStart = charsetEnd + 3;
        const std::size_t close = text.find(kWordEnd, payloadStart);
        if (close == std::string::npos) break;
        const std::string_view payload =
            std::string_view(text).substr(payloadStart, close - payloadStart);
        std::string decoded;
        if (letter == 'B')
            decoded = DecodeWordBase64(payload);
        else if (letter == 'Q')
            decoded = DecodeQuotedPrintable(payload, true);
        // Any other letter: the word is dropped.
        decoded = ConvertCode(decoded, JapaneseCode::Sjis);
        while (!decoded.empty() && static_cast<Byte>(decoded.back()) <= 0x20) decoded.pop_back();
        text.replace(open, close + kWordEnd.size() - open, decoded);
    }
    return text;
}

std::string DecodeQuotedPrintable(std::string_view text, bool underscoreRule) {
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '\0') break;
        if (c == '=') {
            if (i + 1 < n && (text[i + 1] == '\r' || text[i + 1] == '\n')) {
                // Soft line break: "=" and the line end, CR LF or a bare CR or LF.
                i += (text[i + 1] == '\r' && i + 2 < n && text[i + 2] == '\n') ? 3 : 2;
                continue;
            }
            if (i + 2 < n) {
                const int hi = HexValue(static_cast<Byte>(text[i + 1]));
                const int lo = HexValue(static_cast<Byte>(text[i + 2]));
                out.push_back(hi < 0 || lo < 0 ? static_cast<char>(64)
                                               : static_cast<char>(hi * 16 + lo));
                i += 3;
                continue;
            }
            // "=" too near the end to start an escape: copied.
        } else if (c == '_' && underscoreRule) {
            out.push_back(' ');
            ++i;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

std::string DecodeUuencode(const std::vector<std::string>& lines,
                           const std::string& formatErrorText) {
    std::string out;
    for (const std::string& line : lines) {
        if (line == "end" || line == "`") break;
        if (line.empty()) continue;
        const int count = UuValue(static_cast<Byte>(line[0]));
        if (count < 0) throw EUudecodeError(formatErrorText);
        const std::size_t dataChars = count * 4 / 3 == 60 ? 60 : line.size() - 1;
        // 60 characters carry the 45 bytes a line can hold; further ones are checked, not used.
        Byte bytes[45] = {};
        unsigned long bits = 0;
        int bitCount = 0;
        std::size_t written = 0;
        for (std::size_t k = 0; k < dataChars; ++k) {
            const Byte c = 1 + k < line.size() ? static_cast<Byte>(line[1 + k]) : 0x60;
            const int v = UuValue(c);
            if (v < 0) throw EUudecodeError(formatErrorText);
            if (written >= sizeof bytes) continue;
            bits = (bits << 6) | static_cast<unsigned>(v);
            bitCount += 6;
            if (bitCount >= 8) {
                bitCount -= 8;
                bytes[written++] = static_cast<Byte>((bits >> bitCount) & 0xFF);
            }
        }
        out.append(reinterpret_cast<const char*>(bytes), std::min<std::size_t>(count, 45));
    }
    return out;
}

std::string ZoneText(int offsetMinutes) {
    if (offsetMinutes == 0) return "GMT";
    const int a = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return std::string(offsetMinutes < 0 ? "-" : "+") + TwoDigits(a / 60) + TwoDigits(a % 60);
}

std::string ZoneText() { return ZoneText(platform::ZoneOffsetMinutes()); }

std::string FormatMailDate(const platform::DateTime& d) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int wd = d.dayOfWeek >= 0 && d.dayOfWeek < 7 ? d.dayOfWeek : 0;
    const int mo = d.month >= 1 && d.month <= 12 ? d.month - 1 : 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %d %s %04d %02d:%02d:%02d ", kDays[wd], d.day, kMonths[mo],
                  d.year, d.hour, d.minute, d.second);
    return buf + ZoneText();
}

std::string MakeMessageId(const std::string& host) {
    const platform::DateTime d = platform::LocalNow();
    char date[32];
    std::snprintf(date, sizeof date, "%04d.%02d.%02d.", d.year, d.month, d.day);
    return "<ORB." + std::string(date) + RandomLetters(8, 't') + "@" + host + ">";
}

std::string MakeBoundary() { return "--_ORB_bound_" + RandomLetters(12, 'y'); }

}  // namespace mail
