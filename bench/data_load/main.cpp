// data_load_bench [MiB]: writes one large data file of each kind (default 50 MiB, lines in
// random order) into its own folder and measures, each in a fresh process, its wall time, CPU
// time and peak resident memory for: "load", reading that file into memory as the start does
// (the store's load); "start", the main screen's whole start over that folder with a window
// that shows nothing (so the selector items built from the lists count, but no toolkit). Beside
// them the same figures for `sort -f` over the same file (read every line, order them ignoring
// case).
//   data_load_bench --load FILE DIR, --start DIR: one measured step (what the child runs).
//   data_load_bench --generate FILE DIR [MiB]: only writes the data.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/main_screen.h"
#include "app/main_view.h"
#include "app/send_log.h"
#include "platform/data_dir.h"
#include "platform/ini_file.h"
#include "platform/texts.h"
#include "settings/address_book.h"
#include "settings/connection_settings.h"
#include "settings/environment_settings.h"
#include "settings/header_footer.h"
#include "settings/profile_store.h"

namespace fs = std::filesystem;

namespace {

// A window that shows nothing: the start's cost without a toolkit's.
class NullView : public app::MainView {
public:
    void SetSenderItems(const std::vector<std::string>&) override {}
    void SetSenderIndex(int) override {}
    std::string SenderText() const override { return sender_; }
    void SetRecipientItems(const std::vector<std::string>&) override {}
    void SetRecipientIndex(int) override {}
    int RecipientIndex() const override { return 0; }
    void SetFileText(const std::string&) override {}
    std::string FileText() const override { return {}; }
    void SetDirectoryText(const std::string&) override {}
    std::string DirectoryText() const override { return "\\"; }
    void SetDirectoryFixed(bool) override {}
    void SetSubject(const std::string&) override {}
    std::string Subject() const override { return {}; }
    void SetHeaderLines(const std::vector<std::string>&) override {}
    std::vector<std::string> HeaderLines() const override { return {}; }
    void SetDetailLines(const std::vector<std::string>&) override {}
    std::vector<std::string> DetailLines() const override { return {}; }
    void SetFooterLines(const std::vector<std::string>&) override {}
    std::vector<std::string> FooterLines() const override { return {}; }
    void SetStatus(const std::string&) override {}
    std::string Status() const override { return {}; }
    void SetProgress(int) override {}
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    bool AskYesNo(const std::string&) override { return false; }
    std::optional<std::string> AskOpenFileName() override { return std::nullopt; }
    void SetScreenEnabled(bool) override {}

    std::string sender_ = "P";
};

std::mt19937_64 rng(20021105);

std::string Digits(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
    return s;
}

std::string Word(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('a' + rng() % 26);
    return s;
}

// Lines made by next() until the text reaches size bytes, each ended by CR LF.
template <class Next>
std::string Fill(std::size_t size, Next next) {
    std::string out;
    out.reserve(size + 256);
    while (out.size() < size) {
        out += next();
        out += "\r\n";
    }
    return out;
}

struct Kind {
    const char* name;  // the big file
    std::string (*make)(std::size_t size);
};

const std::vector<std::string>& Kanji() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const char8_t* n :
             {u8"山田", u8"佐藤", u8"鈴木", u8"高橋", u8"田中", u8"営業部", u8"ｶﾅ", u8"渡辺"})
            v.push_back(platform::Sjis(n));
        return v;
    }();
    return names;
}

std::string Address(std::size_t size) {
    return Fill(size, [] {
        return Kanji()[rng() % Kanji().size()] + Digits(5) + "," + Word(6) + Digits(4) +
               "@example.co.jp";
    });
}

std::string Profiles(std::size_t size) {
    return Fill(size, [] {
        const std::string n = Word(3) + Digits(6);
        return n + ",ftp." + n + ".example,/pub/www,user" + Digits(3) + ",0582058805940600," +
               "www.example/~" + n + "/," + Kanji()[rng() % Kanji().size()] + "," + n +
               "@example.co.jp," + n + "@example.co.jp,smtp.example,1,pop.example," + n +
               ",0582058805940600,0,\\out";
    });
}

std::string Log(std::size_t size) {
    return Fill(size, [] {
        return Digits(2) + "/" + Digits(2) + "/" + Digits(2) + "," + Word(8) + ".zip," +
               Kanji()[rng() % Kanji().size()] + ",\\,,0,ftp.example,21,user,0582058805940600," +
               "/pub/www," + Digits(7);
    });
}

std::string Ini(std::size_t size) {
    // The described sections last, so every lookup passes the whole file.
    std::string text = Fill(size, [] {
        return (rng() % 8 == 0 ? "[S" + Digits(6) + "]" : "K" + Digits(5) + "=" + Word(12));
    });
    return text + "[USER]\r\nDefaultAdress=P\r\n[FTP]\r\nR1=1\r\nR2=0\r\nR3=1\r\nR4=0\r\n";
}

std::string Header(std::size_t size) {
    return Fill(size, [] {
        std::string line;
        for (int i = 0; i < 8; ++i) line += Kanji()[rng() % Kanji().size()] + Word(3);
        return line;
    });
}

std::string Connect(std::size_t size) {
    return Fill(size, [] {
        return "P\t" + Word(4) + Digits(6) +
               "\tftp.port=2121\tftp.security=explicit\tsmtp.port=587";
    });
}

const Kind kKinds[] = {
    {"Adress.dat", Address}, {"User.Inf", Profiles}, {"Log.dat", Log},
    {"Defult.ini", Ini},     {"P.hed", Header},      {"Connect.dat", Connect},
};

struct Run {
    double wall = 0, cpu = 0;
    long maxRssKiB = 0;
    int status = 0;
};

Run Measure(const std::vector<std::string>& argv) {
    Run r;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    rusage usage{};
    ::wait4(pid, &r.status, 0, &usage);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
            usage.ru_stime.tv_usec / 1e6;
    r.maxRssKiB = usage.ru_maxrss;
    return r;
}

int Start(const fs::path& dir) {
    NullView view;
    app::MainScreen screen(view, dir);
    screen.StartUp();
    return 0;
}

// Reads the one file as the start does, through the code the start uses for it.
int Load(const std::string& file, const fs::path& dir) {
    if (file == "Adress.dat") {
        settings::AddressBook book(dir);
        book.Load();
    } else if (file == "User.Inf") {
        settings::ProfileStore profiles(dir);
        profiles.LoadProfileList();
    } else if (file == "Log.dat") {
        platform::SortedLineList log;
        app::LoadSendLog(log, dir);
    } else if (file == "Defult.ini") {
        const platform::IniFile ini(platform::ResolveInDir(dir, settings::kIniFileName));
        settings::TEnvironmentSettings environment;
        environment.Load(ini);
        if (ini.ReadString(settings::kStandardSection, settings::kStandardKey) != "P") return 1;
    } else if (file == "P.hed") {
        if (settings::ReadProfileText(dir, settings::TemplateKind::Header, "P").empty()) return 1;
    } else if (file == "Connect.dat") {
        settings::ConnectionStore connections(dir);
        connections.Load();
    } else {
        return 2;
    }
    return 0;
}

const Kind* KindOf(const std::string& name) {
    for (const Kind& kind : kKinds) {
        if (name == kind.name) return &kind;
    }
    return nullptr;
}

void Generate(const Kind& kind, const fs::path& dir, std::size_t mib) {
    fs::create_directories(dir);
    {
        const std::string text = kind.make(mib << 20);
        std::ofstream(dir / kind.name, std::ios::binary) << text;
    }
    if (std::string(kind.name) == "P.hed") {
        // A standard profile named P, so the start loads its header.
        std::ofstream(dir / "User.Inf", std::ios::binary)
            << "P,h,/pub,u,,www.example/,Me,me@x,me@x,smtp,0,pop,me,,0,\\\r\n";
        std::ofstream(dir / "Defult.ini", std::ios::binary) << "[USER]\r\nDefaultAdress=P\r\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--start") return Start(args[1]);
    if (args.size() == 3 && args[0] == "--load") return Load(args[1], args[2]);
    if (args.size() >= 3 && args[0] == "--generate") {
        const Kind* kind = KindOf(args[1]);
        if (!kind) return 2;
        Generate(*kind, args[2], args.size() > 3 ? std::strtoul(args[3].c_str(), nullptr, 10) : 50);
        return 0;
    }
    const std::size_t mib = !args.empty() ? std::strtoul(args[0].c_str(), nullptr, 10) : 50;
    const fs::path root =
        fs::temp_directory_path() / ("data_load_bench_" + std::to_string(::getpid()));
    const std::string self = fs::read_symlink("/proc/self/exe").string();

    // The start with no files at all: the process's own floor.
    fs::create_directories(root / "empty");
    const Run floor = Measure({self, "--start", (root / "empty").string()});
    std::printf("%zu MiB per file; empty start: %.0f MiB peak; peak/size counts the floor\n", mib,
                floor.maxRssKiB / 1024.0);
    std::printf("%-12s %6s | %-26s | %-26s | %-20s\n", "", "", "load", "start", "sort -f");
    std::printf("%-12s %6s | %6s %6s %6s %5s | %6s %6s %6s %5s | %6s %6s %6s\n", "file", "MiB",
                "wall s", "cpu s", "MiB", "x", "wall s", "cpu s", "MiB", "x", "wall s", "cpu s",
                "MiB");
    for (const Kind& kind : kKinds) {
        const fs::path dir = root / kind.name;
        Generate(kind, dir, mib);
        const fs::path file = dir / kind.name;
        const double size = static_cast<double>(fs::file_size(file)) / (1 << 20);
        const Run load = Measure({self, "--load", kind.name, dir.string()});
        const Run start = Measure({self, "--start", dir.string()});
        const Run sort = Measure({"sort", "-f", "-o", "/dev/null", file.string()});
        const double loadPeak = load.maxRssKiB / 1024.0, startPeak = start.maxRssKiB / 1024.0;
        std::printf(
            "%-12s %6.1f | %6.2f %6.2f %6.0f %4.2fx | %6.2f %6.2f %6.0f %4.2fx | %6.2f %6.2f "
            "%6.0f%s\n",
            kind.name, size, load.wall, load.cpu, loadPeak, loadPeak / size, start.wall, start.cpu,
            startPeak, startPeak / size, sort.wall, sort.cpu, sort.maxRssKiB / 1024.0,
            load.status == 0 && start.status == 0 ? "" : "  (failed)");
        fs::remove_all(dir);
    }
    fs::remove_all(root);
    return 0;
}
