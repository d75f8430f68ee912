// Upload throughput against a local vsftpd: TFtpClient and curl -T in the same run, active and
// passive, 1 GiB (or the size in MiB given as the first argument); then the same over explicit
// TLS against a second vsftpd that requires it (certificates from a test CA made for the run),
// beside curl --ssl-reqd in passive mode (curl 7.88 cannot upload actively over TLS; our active
// figure stands alone). Prints MB/s, our ratio to curl and our peak resident memory. Needs root
// (vsftpd with a local user), curl and python3-cryptography.
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

double Ours(int port, const fs::path& file, bool passive, bool tls) {
    ftp::TFtpClient c;
    if (tls) c.Security = ftp::TFtpSecurity::Explicit;
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

// ca: the CA to trust for an upload over TLS; empty for a plain one.
double Curl(int port, const fs::path& file, bool passive, const fs::path& log, const fs::path& ca) {
    std::vector<std::string> argv = {"curl", "-s", "-S", "-T", file.string()};
    if (!ca.empty()) {
        argv.push_back("--ssl-reqd");
        argv.push_back("--cacert");
        argv.push_back(ca.string());
    }
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
    fs::path file = dir / "upload.bin";
    {
        // Real (not sparse) content, so both clients read the same bytes from the page cache.
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + 3);
        FILE* f = std::fopen(file.c_str(), "wb");
        for (std::int64_t i = 0; i < mib; ++i) std::fwrite(block.data(), 1, block.size(), f);
        std::fclose(f);
    }
    const fs::path scripts = fs::path(FERNLAY_SOURCE_DIR) / "tests/servers";
    // The test CA and a server certificate for 127.0.0.1; our client trusts the CA as curl does.
    const fs::path certs = dir / "certs";
    fs::create_directories(certs);
    const std::string made =
        "/usr/bin/python3 '" + (scripts / "test_certs.py").string() + "' '" + certs.string() + "'";
    if (std::system(made.c_str()) != 0) {
        std::fprintf(stderr, "test certificates could not be made (python3-cryptography?)\n");
        fs::remove_all(dir);
        return 2;
    }
    ::setenv("SSL_CERT_FILE", (certs / "ca.pem").c_str(), 1);

    struct Server {
        const char* name;
        bool tls;
        fs::path work, root;
        int port = 0;
        pid_t pid = -1;
    };
    Server servers[] = {{"plain", false, dir / "plain", {}},
                        {"explicit TLS", true, dir / "tls", {}}};
    int rc = 0;
    for (Server& sv : servers) {
        sv.root = sv.work / "root";
        fs::create_directories(sv.root);
        sv.port = bench::FreePort();
        std::vector<std::string> argv = {"/bin/sh",
                                         (scripts / "ftp_vsftpd.sh").string(),
                                         sv.work.string(),
                                         sv.root.string(),
                                         std::to_string(sv.port),
                                         kUser,
                                         kPassword};
        if (sv.tls) {
            argv.insert(argv.end(), {"explicit", (certs / "server.pem").string(),
                                     (certs / "server.key").string()});
        }
        sv.pid = bench::Spawn(argv, sv.work / "server.log", sv.work / "server.log");
        if (!bench::Answers(sv.port)) {
            std::fprintf(stderr, "vsftpd (%s) did not start (see %s)\n", sv.name,
                         (sv.work / "server.log").c_str());
            rc = 2;
        }
    }
    if (rc == 0) {
        std::printf("upload of %lld MiB to vsftpd on 127.0.0.1 (best of 3 runs each)\n",
                    static_cast<long long>(mib));
        const double mb = static_cast<double>(size) / 1e6;
        for (const Server& sv : servers) {
            for (bool passive : {false, true}) {
                // curl cannot upload actively over TLS: our figure stands alone there.
                const bool withCurl = !sv.tls || passive;
                double ours = 1e9, curl = 1e9;
                for (int run = 0; run < 3; ++run) {
                    ours = std::min(ours, Ours(sv.port, file, passive, sv.tls));
                    fs::remove(sv.root / "ours.bin");
                    if (!withCurl) continue;
                    double c = Curl(sv.port, file, passive, dir / "curl.log",
                                    sv.tls ? certs / "ca.pem" : fs::path());
                    if (c < 0) rc = 1;
                    if (c > 0) curl = std::min(curl, c);
                    fs::remove(sv.root / "curl.bin");
                }
                const std::string mode =
                    std::string(sv.tls ? "explicit TLS " : "") + (passive ? "passive" : "active");
                if (withCurl)
                    std::printf("%-20s ours %8.1f MB/s   curl %8.1f MB/s   ratio %.2f\n",
                                mode.c_str(), mb / ours, mb / curl, curl / ours);
                else
                    std::printf("%-20s ours %8.1f MB/s   (curl cannot upload actively over TLS)\n",
                                mode.c_str(), mb / ours);
            }
        }
        rusage ru{};
        ::getrusage(RUSAGE_SELF, &ru);
        std::printf("our peak resident memory (plain and TLS): %.1f MiB\n", ru.ru_maxrss / 1024.0);
    }
    for (const Server& sv : servers) {
        if (sv.pid <= 0) continue;
        ::kill(-sv.pid, SIGTERM);
        ::waitpid(sv.pid, nullptr, 0);
    }
    fs::remove_all(dir);
    return rc;
}
