// Generates a Shift_JIS text (kanji, kana, half-width katakana, ASCII, CR LF line ends) and
// times whole-file conversions by our jconv command beside iconv and nkf on the same files.
// Usage: jconv_bench [MiB] (default 64). Prints MB/s (MiB of input per second, best of 3).
//        jconv_bench --generate FILE [MiB]: only writes the Shift_JIS text.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mail/jconvert.h"

namespace {

std::uint32_t state = 12345;
std::uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

void PutJis(std::string& out, unsigned j1, unsigned j2) {
    // Shift_JIS form of a JIS X 0208 pair.
    const unsigned s1 = ((j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0);
    const unsigned s2 = (j1 & 1) ? (j2 <= 0x5F ? j2 + 0x1F : j2 + 0x20) : j2 + 0x7E;
    out.push_back(static_cast<char>(s1));
    out.push_back(static_cast<char>(s2));
}

std::string Generate(std::size_t size) {
    static const char* const words[] = {
        "the ", "file ", "http://example.jp/dl/", "2026 ", "size: 1,234 bytes ",
        "OK. ", "(c) ",  "mail@example.jp "};
    std::string out;
    out.reserve(size + 256);
    std::size_t lineStart = 0;
    while (out.size() < size) {
        const unsigned pick = Next() % 100;
        const unsigned runLength = 1 + Next() % 8;
        for (unsigned k = 0; k < runLength; ++k) {
            if (pick < 40)
                PutJis(out, 0x30 + Next() % 0x1F, 0x21 + Next() % 94);  // level-1 kanji
            else if (pick < 60)
                PutJis(out, 0x24, 0x21 + Next() % 83);  // hiragana
            else if (pick < 70)
                PutJis(out, 0x25, 0x21 + Next() % 86);  // katakana
            else if (pick < 78) {
                out.push_back(static_cast<char>(0xA6 + Next() % 56));  // half-width katakana
                if (Next() % 4 == 0) out.push_back(static_cast<char>(0xDE));
            } else if (pick < 82)
                PutJis(out, 0x21, 0x21 + Next() % 94);  // symbols
            else
                out += words[Next() % 8];
        }
        if (out.size() - lineStart > 60 + Next() % 20) {
            out += "\r\n";
            lineStart = out.size();
        }
    }
    out += "\r\n";
    return out;
}

struct Timing {
    double wall = 1e9;  // seconds, best of the runs
    double cpu = 1e9;   // user + system seconds of the command, best of the runs
};

double ChildCpu() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

Timing Measure(const std::string& command) {
    Timing t;
    for (int run = 0; run < 3; ++run) {
        const double cpuBefore = ChildCpu();
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) == -1) return Timing{};
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        t.wall = std::min(t.wall, wall);
        t.cpu = std::min(t.cpu, ChildCpu() - cpuBefore);
    }
    return t;
}

bool Have(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--generate") {
        const std::size_t size = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 64;
        std::ofstream(argv[2], std::ios::binary) << Generate(size << 20);
        return 0;
    }
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const auto dir =
        std::filesystem::temp_directory_path() / ("jconv_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string sjis = Generate(mib << 20);
    const double mb = static_cast<double>(sjis.size()) / (1 << 20);
    const std::string s = (dir / "text.sjis").string(), j = (dir / "text.jis").string(),
                      e = (dir / "text.euc").string(), out = (dir / "out").string();
    std::ofstream(s, std::ios::binary) << sjis;
    std::ofstream(j, std::ios::binary) << mail::SjisToJis(sjis) << mail::JisAsciiEscape;
    std::ofstream(e, std::ios::binary) << mail::SjisToEuc(sjis);
    std::printf("input: %.1f MiB Shift_JIS (JIS %.1f MiB, EUC-JP %.1f MiB), best of 3 runs\n", mb,
                std::filesystem::file_size(j) / 1048576.0,
                std::filesystem::file_size(e) / 1048576.0);

    struct Task {
        const char* what;
        std::string ours, iconv, nkf;
    };
    const std::string jconv = JCONV_PATH;
    // iconv cannot put half-width katakana into ISO-2022-JP: -c drops them and goes on.
    const Task tasks[] = {
        {"Shift_JIS -> JIS", jconv + " sjis2jis " + s + " " + out,
         "iconv -c -f CP932 -t ISO-2022-JP " + s + " > " + out + " 2>/dev/null",
         "nkf -j " + s + " > " + out},
        {"JIS -> Shift_JIS", jconv + " jis2sjis " + j + " " + out,
         "iconv -c -f ISO-2022-JP -t CP932 " + j + " > " + out + " 2>/dev/null",
         "nkf -J -s " + j + " > " + out},
        {"EUC-JP -> Shift_JIS", jconv + " euc2sjis " + e + " " + out,
         "iconv -c -f EUC-JP -t CP932 " + e + " > " + out + " 2>/dev/null",
         "nkf -E -s " + e + " > " + out},
    };
    const bool haveIconv = Have("iconv"), haveNkf = Have("nkf");
    // MB/s from CPU time (user + system of the command), which a busy shared machine does not
    // distort; wall-clock MB/s beside it.
    std::printf("%-20s %21s %21s %21s %8s %8s\n", "", "ours", "iconv", "nkf", "ours /", "ours /");
    std::printf("%-20s %10s %10s %10s %10s %10s %10s %8s %8s\n", "conversion", "cpu MB/s",
                "wall MB/s", "cpu MB/s", "wall MB/s", "cpu MB/s", "wall MB/s", "iconv", "nkf");
    for (const Task& t : tasks) {
        const Timing ours = Measure(t.ours);
        const Timing ic = haveIconv ? Measure(t.iconv) : Timing{};
        const Timing nk = haveNkf ? Measure(t.nkf) : Timing{};
        std::printf("%-20s %10.1f %10.1f %10.1f %10.1f %10.1f %10.1f %7.1fx %7.1fx\n", t.what,
                    mb / ours.cpu, mb / ours.wall, mb / ic.cpu, mb / ic.wall, mb / nk.cpu,
                    mb / nk.wall, ic.cpu / ours.cpu, nk.cpu / ours.cpu);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
