// POP before SMTP over a large mailbox: Dovecot on 127.0.0.1 serves N messages (2000 of
// 250,000 bytes, 500 MB, unless given), and the POP3 component logs in, counts and reads every
// message as the mail phase does; curl fetches the same messages in the same run. Prints
// seconds, MB/s and the peak resident memory of each (wait4), and whether ours stays under
// 40 MiB. "--with-kept" adds the described retrieval that keeps every parsed message.
// Needs root (Dovecot with a passwd-file user) and curl.
//
// usage: pop_mailbox_bench [--with-kept] [MESSAGES [BYTES_PER_MESSAGE]]
//        pop_mailbox_bench --client drop|keep PORT USER PASSWORD   (one measured client)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "mail/orb_pop.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char* kUser = "benchpop";
const char* kPassword = "bench-pop-pw";

struct Run {
    double seconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

Run Measure(const std::vector<std::string>& argv, const fs::path& out, const fs::path& err) {
    Run r;
    const auto t0 = Clock::now();
    const pid_t pid = bench::Spawn(argv, out, err);
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.peakMiB = ru.ru_maxrss / 1024.0;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

// One client as the mail phase runs it; prints the number of messages read.
int Client(const std::string& mode, int port, const std::string& user,
           const std::string& password) {
    mail::TOrbPOP pop;
    pop.Host = "127.0.0.1";
    pop.Port = std::to_string(port);
    pop.UserId = user;
    pop.Passwd = password;
    pop.Connect();
    if (pop.ErrorFlag || !pop.Login()) {
        std::fprintf(stderr, "log-in failed: %s\n", pop.StatusText.c_str());
        return 1;
    }
    pop.CountNewMessages();
    int count = 0;
    if (mode == "keep") {
        mail::TOrbMsgList list;
        count = pop.RetrieveAll(list);
    } else {
        count = pop.RetrieveAndDiscardAll();
    }
    pop.Quit();
    std::printf("%d\n", count);
    return count == pop.MessageCount ? 0 : 1;
}

// A message of exactly `bytes` bytes with LF line ends (Dovecot sends CR LF), lines of 76
// characters, every 40th beginning with a dot so that stuffing is exercised.
std::string Message(int number, std::size_t bytes) {
    std::string m =
        "From: Bench <bench@example.test>\nTo: popuser@example.test\nSubject: message " +
        std::to_string(number) + "\nMessage-Id: <" + std::to_string(number) +
        "@bench.example.test>\n\n";
    for (int line = 0; m.size() < bytes; ++line) {
        std::string text(75, static_cast<char>('a' + line % 26));
        if (line % 40 == 0) text[0] = '.';
        m += text + "\n";
    }
    m.resize(bytes);
    m.back() = '\n';
    return m;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--client") == 0)
        return Client(argv[2], std::atoi(argv[3]), argv[4], argv[5]);

    bool withKept = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--with-kept") == 0)
            withKept = true;
        else
            args.push_back(argv[i]);
    }
    const int messages = args.size() > 0 ? std::atoi(args[0].c_str()) : 2000;
    const std::size_t bytes =
        args.size() > 1 ? std::strtoull(args[1].c_str(), nullptr, 10) : 250000;
    if (::geteuid() != 0) {
        std::fprintf(stderr, "needs root: Dovecot serves a passwd-file user\n");
        return 2;
    }
    char templ[] = "/tmp/fernlay_bench_pop_XXXXXX";
    const fs::path dir = ::mkdtemp(templ);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                             fs::perms::group_read | fs::perms::group_exec);
    const fs::path maildir = dir / "Maildir";
    fs::create_directories(maildir / "new");
    for (int n = 1; n <= messages; ++n) {
        std::ofstream(maildir / "new" /
                          (std::to_string(1700000000 + n) + ".bench" + std::to_string(n) + ":2,"),
                      std::ios::binary)
            << Message(n, bytes);
    }
    const double mb = static_cast<double>(bytes) * messages / 1e6;
    const int port = bench::FreePort();
    const fs::path script = fs::path(FERNLAY_SOURCE_DIR) / "tests/servers/dovecot_pop3.sh";
    const pid_t server = bench::Spawn({"/bin/sh", script.string(), (dir / "dc").string(),
                                       maildir.string(), std::to_string(port), kUser, kPassword},
                                      dir / "dovecot.out", dir / "dovecot.err");
    int rc = 0;
    if (!bench::Answers(port)) {
        std::fprintf(stderr, "dovecot did not start (see %s)\n", (dir / "dovecot.err").c_str());
        rc = 2;
    } else {
        std::printf(
            "POP before SMTP: %d messages of %zu bytes, %.1f MB, from Dovecot on 127.0.0.1\n",
            messages, bytes, mb);
        std::printf("%-30s %8s %8s %14s\n", "", "seconds", "MB/s", "peak RSS MiB");
        const std::string self = fs::canonical("/proc/self/exe").string();
        const std::string p = std::to_string(port);
        struct Row {
            const char* name;
            std::vector<std::string> argv;
        };
        std::vector<Row> rows = {
            {"ours (messages dropped)", {self, "--client", "drop", p, kUser, kPassword}},
            {"curl (reference)",
             {"curl", "-s", "-S", "-u", std::string(kUser) + ":" + kPassword,
              "pop3://127.0.0.1:" + p + "/[1-" + std::to_string(messages) + "]"}},
        };
        if (withKept)
            rows.push_back(
                {"ours, kept (as described)", {self, "--client", "keep", p, kUser, kPassword}});
        double oursPeak = 0;
        for (const Row& row : rows) {
            const Run r = Measure(row.argv, "/dev/null", dir / "client.err");
            if (!r.ok) {
                std::printf("%-30s failed: %s\n", row.name, ReadAll(dir / "client.err").c_str());
                rc = 1;
                continue;
            }
            if (row.argv[0] == self && row.argv[2] == "drop") oursPeak = r.peakMiB;
            std::printf("%-30s %8.2f %8.1f %14.1f\n", row.name, r.seconds, mb / r.seconds,
                        r.peakMiB);
        }
        std::printf("target: ours under 40 MiB peak resident memory: %s\n",
                    oursPeak > 0 && oursPeak < 40 ? "met" : "NOT met");
        if (!(oursPeak > 0 && oursPeak < 40)) rc = 1;
    }
    ::kill(-server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    fs::remove_all(dir);
    return rc;
}
