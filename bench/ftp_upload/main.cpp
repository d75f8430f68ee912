// Upload throughput against a local vsftpd: TFtpClient and curl -T in the same run, active and
// passive, 1 GiB (or the size in MiB given as the first argument). Prints MB/s, our ratio to
// curl and our peak resident memory. Needs root (vsftpd with a local user) and curl.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_util.h"
#include "ftp/ftp_client.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char* kUser = "fernlayftp";
const char* kPassword = "fernlay-test-pw";

double Ours(int port, const fs::path& file, bool passive) {
    ftp::TFtpClient c;
    c.Host = "127.0.0.1";
    c.Port = port;
    c.UserID = kUser;
    c.Password = kPassword;
    c.TimeOut = 20000;
    c.Passive = passive;
    c.OnConnect = [&](ftp::TSockSession*) {
        c.Mode(ftp::TransferImage);
        c.Upload(file.string(), "ours.bin");
        c.Disconnect();
    };
    auto t0 = Clock::now();
    c.Connect();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Curl(int port, const fs::path& file, bool passive, const fs::path& log) {
    std::vector<std::string> argv = {"curl", "-s", "-S", "-T", file.string()};
    if (!passive) {
        argv.push_back("--ftp-port");
        argv.push_back("-");
    }
    argv.push_back("ftp://" + std::string(kUser) + ":" + kPassword +
                   "@127.0.0.1:" + std::to_string(port) + "/curl.bin");
    auto t0 = Clock::now();
    pid_t pid = bench::Spawn(argv, log, log);
    int status = 0;
    ::waitpid(pid, &status, 0);
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "curl failed (see %s)\n", log.c_str());
        return -1;
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    const std::int64_t size = mib << 20;
    if (::geteuid() != 0) {
        std::fprintf(stderr, "needs root: vsftpd runs with a local user\n");
        return 2;
    }
    char templ[] = "/tmp/fernlay_bench_ftp_XXXXXX";
    fs::path dir = ::mkdtemp(templ);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                             fs::perms::group_read | fs::perms::group_exec);
    fs::path root = dir / "root";
    fs::create_directories(root);
    fs::path file = dir / "upload.bin";
    {
        // Real (not sparse) content, so both clients read the same bytes from the page cache.
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + 3);
        FILE* f = std::fopen(file.c_str(), "wb");
        for (std::int64_t i = 0; i < mib; ++i) std::fwrite(block.data(), 1, block.size(), f);
        std::fclose(f);
    }
    const int port = bench::FreePort();
    const fs::path script = fs::path(FERNLAY_SOURCE_DIR) / "tests/servers/ftp_vsftpd.sh";
    pid_t server = bench::Spawn({"/bin/sh", script.string(), dir.string(), root.string(),
                                 std::to_string(port), kUser, kPassword},
                                dir / "server.log", dir / "server.log");
    int rc = 0;
    if (!bench::Answers(port)) {
        std::fprintf(stderr, "vsftpd did not start (see %s)\n", (dir / "server.log").c_str());
        rc = 2;
    } else {
        std::printf("upload of %lld MiB to vsftpd on 127.0.0.1 (best of 3 runs each)\n",
                    static_cast<long long>(mib));
        for (bool passive : {false, true}) {
            double ours = 1e9, curl = 1e9;
            for (int run = 0; run < 3; ++run) {
                ours = std::min(ours, Ours(port, file, passive));
                fs::remove(root / "ours.bin");
                double c = Curl(port, file, passive, dir / "curl.log");
                if (c < 0) rc = 1;
                if (c > 0) curl = std::min(curl, c);
                fs::remove(root / "curl.bin");
            }
            const double mb = static_cast<double>(size) / 1e6;
            std::printf("%-8s ours %8.1f MB/s   curl %8.1f MB/s   ratio %.2f\n",
                        passive ? "passive" : "active", mb / ours, mb / curl, curl / ours);
        }
        rusage ru{};
        ::getrusage(RUSAGE_SELF, &ru);
        std::printf("our peak resident memory: %.1f MiB\n", ru.ru_maxrss / 1024.0);
    }
    ::kill(-server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    fs::remove_all(dir);
    return rc;
}
