// jconv MODE IN OUT: converts a file with our converters. MODE: sjis2jis, sjis2euc, jis2sjis,
// jis2euc, euc2sjis, euc2jis. OUT "-" is standard output.
// The file is streamed in pieces cut where the conversion carries no state across the cut,
// so the output is byte-identical to converting the whole file at once.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "mail/jconvert.h"

namespace {

using Byte = unsigned char;
using Converter = std::string (*)(std::string_view);

constexpr std::size_t kPiece = 256 * 1024;

// Shift_JIS and EUC-JP: after two bytes below 0x80 the second one stood alone (no lead byte is
// below 0x80), so no pair, kana mark or kanji mode runs across the cut.
std::size_t CutAfterTwoAscii(const Byte* s, std::size_t n) {
    for (std::size_t p = n; p >= 2; --p)
        if (s[p - 1] < 0x80 && s[p - 2] < 0x80) return p;
    return 0;
}

// JIS: follows the reader's steps (escapes of three bytes; in kanji mode pairs towards Shift_JIS,
// single bytes towards EUC-JP) up to a step start near the end; `kanji` tells the mode there.
std::size_t CutJis(const Byte* s, std::size_t n, std::size_t kanjiStep, bool& kanji) {
    kanji = false;
    if (n < 8) return 0;
    const std::size_t limit = n - 4;
    std::size_t i = 0;
    while (i < limit) {
        if (s[i] == 0x1B) {
            if (s[i + 1] == '$')
                kanji = true;
            else if (s[i + 1] == '(')
                kanji = false;
            i += 3;
        } else if (!kanji) {
            const void* esc = std::memchr(s + i, 0x1B, limit - i);
            i = esc ? static_cast<std::size_t>(static_cast<const Byte*>(esc) - s) : limit;
        } else {
            i += kanjiStep;
        }
    }
    return i;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: jconv MODE IN OUT\n");
        return 2;
    }
    const std::string mode = argv[1];
    Converter convert = nullptr;
    const bool jisSource = mode.rfind("jis2", 0) == 0;
    if (mode == "sjis2jis") convert = mail::SjisToJis;
    if (mode == "sjis2euc") convert = mail::SjisToEuc;
    if (mode == "jis2sjis") convert = mail::JisToSjis;
    if (mode == "jis2euc") convert = mail::JisToEuc;
    if (mode == "euc2sjis") convert = mail::EucToSjis;
    if (mode == "euc2jis") convert = mail::EucToJis;
    if (!convert) {
        std::fprintf(stderr, "jconv: unknown mode %s\n", argv[1]);
        return 2;
    }
    const int in = ::open(argv[2], O_RDONLY);
    const int out =
        std::strcmp(argv[3], "-") == 0 ? 1 : ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) {
        std::fprintf(stderr, "jconv: cannot open %s\n", in < 0 ? argv[2] : argv[3]);
        return 1;
    }
    std::vector<Byte> buffer(2 * kPiece);
    std::size_t held = 0;
    for (;;) {
        if (buffer.size() - held < kPiece) buffer.resize(buffer.size() * 2);
        const ssize_t got = ::read(in, buffer.data() + held, kPiece);
        if (got < 0) {
            std::fprintf(stderr, "jconv: cannot read %s\n", argv[2]);
            return 1;
        }
        held += static_cast<std::size_t>(got);
        const bool end = got == 0;
        bool kanji = false;
        const std::size_t cut = end ? held
                                : jisSource
                                    ? CutJis(buffer.data(), held, mode == "jis2sjis" ? 2 : 1, kanji)
                                    : CutAfterTwoAscii(buffer.data(), held);
        if (cut > 0) {
            const std::string converted =
                convert(std::string_view(reinterpret_cast<const char*>(buffer.data()), cut));
            if (!WriteAll(out, converted)) {
                std::fprintf(stderr, "jconv: cannot write %s\n", argv[3]);
                return 1;
            }
            // The rest starts the next piece, behind the mode it was read in.
            std::size_t prefix = 0;
            if (kanji) {
                std::memcpy(buffer.data(), "\x1b$B", 3);
                prefix = 3;
            }
            std::memmove(buffer.data() + prefix, buffer.data() + cut, held - cut);
            held = held - cut + prefix;
        }
        if (end) break;
    }
    ::close(in);
    return (out == 1 || ::close(out) == 0) ? 0 : 1;
}
