#include "peers/ftp_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace ftptest {

namespace fs = std::filesystem;

bool ServerProcess::Start(const std::vector<std::string>& argv, const fs::path& log) {
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::setpgid(0, 0);
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    pid_ = pid;
    return true;
}

void ServerProcess::Stop() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            ::kill(-pid_, SIGKILL);  // children of the group, if any are left
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

bool WaitForGreeting(int port, int timeout_ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            pollfd p{fd, POLLIN, 0};
            char buf[64] = {};
            bool ok = ::poll(&p, 1, 2000) > 0 && ::recv(fd, buf, 3, 0) == 3 &&
                      std::string(buf, 3) == "220";
            ::close(fd);
            if (ok) return true;
        } else {
            ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool WaitForPort(int port, int timeout_ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (ok) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

fs::path MakeTempDir(const std::string& tag) {
    std::string templ = (fs::temp_directory_path() / ("fernlay_" + tag + "_XXXXXX")).string();
    if (!::mkdtemp(templ.data())) return {};
    fs::permissions(templ, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    return templ;
}

namespace {

const fs::path kServers = fs::path(FERNLAY_SOURCE_DIR) / "tests" / "servers";

}  // namespace

const TestCertificates& Certificates() {
    static const TestCertificates certs = [] {
        TestCertificates c;
        c.dir = MakeTempDir("certs");
        const std::string cmd = "/usr/bin/python3 '" + (kServers / "test_certs.py").string() +
                                "' '" + c.dir.string() + "' 2>&1";
        if (std::system(cmd.c_str()) != 0 || !fs::exists(c.dir / "ca.pem")) {
            c.error = "test certificates could not be made (python3-cryptography?)";
            c.dir.clear();
        }
        static fs::path made;
        made = c.dir;
        std::atexit([] {
            std::error_code ec;
            if (!made.empty()) fs::remove_all(made, ec);
        });
        return c;
    }();
    return certs;
}

void TrustTestCa() {
    if (!Certificates().dir.empty()) ::setenv("SSL_CERT_FILE", Certificates().Pem("ca").c_str(), 1);
}

FtpServer::~FtpServer() {
    process.Stop();
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
}

std::unique_ptr<FtpServer> StartFtpServer(Kind kind, int port, const std::string& cert) {
    auto s = std::make_unique<FtpServer>();
    s->kind = kind;
    s->dir = MakeTempDir("ftpd");
    s->root = s->dir / "root";
    fs::create_directories(s->root);
    s->port = port ? port : FreePort();
    std::vector<std::string> argv;
    const bool tls = kind == Kind::VsftpdExplicitTls || kind == Kind::VsftpdImplicitTls;
    if (tls && Certificates().dir.empty()) {
        s->error = Certificates().error;
        return s;
    }
    if (kind == Kind::Vsftpd || tls) {
        if (::geteuid() != 0 || !fs::exists("/usr/sbin/vsftpd")) {
            s->error = "vsftpd needs root and the vsftpd package";
            return s;
        }
        s->user = "fernlayftp";
        s->password = "fernlay-test-pw";
        argv = {"/bin/sh",
                (kServers / "ftp_vsftpd.sh").string(),
                s->dir.string(),
                s->root.string(),
                std::to_string(s->port),
                s->user,
                s->password};
        if (tls) {
            argv.push_back(kind == Kind::VsftpdImplicitTls ? "implicit" : "explicit");
            argv.push_back(Certificates().Pem(cert).string());
            argv.push_back(Certificates().Key(cert).string());
        }
    } else {
        if (!fs::exists("/usr/bin/python3")) {
            s->error = "no /usr/bin/python3";
            return s;
        }
        s->user = "fernlay";
        s->password = "fernlay-pw";
        argv = {"/usr/bin/python3", (kServers / "ftp_pyftpdlib.py").string(),
                "--port",           std::to_string(s->port),
                "--root",           s->root.string(),
                "--user",           s->user,
                "--password",       s->password};
        if (kind == Kind::PyftpdlibDiscard) argv.push_back("--discard");
        if (kind == Kind::PyftpdlibUtf8) argv.push_back("--utf8");
    }
    const bool implicit = kind == Kind::VsftpdImplicitTls;
    if (!s->process.Start(argv, s->dir / "server.log") ||
        !(implicit ? WaitForPort(s->port, 8000) : WaitForGreeting(s->port, 8000))) {
        s->error = "server did not answer on port " + std::to_string(s->port) + " (see " +
                   (s->dir / "server.log").string() + ")";
        s->process.Stop();
    }
    return s;
}

FtpProxy::~FtpProxy() {
    process.Stop();
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
}

std::unique_ptr<FtpProxy> StartFtpProxy(int destination_port) {
    auto p = std::make_unique<FtpProxy>();
    p->dir = MakeTempDir("ftpproxy");
    p->port = FreePort();
    if (!fs::exists("/usr/sbin/ftp-proxy")) {
        p->error = "ftp-proxy is not installed";
        return p;
    }
    if (!p->process.Start({"/bin/sh", (kServers / "ftp_proxy.sh").string(), p->dir.string(),
                           std::to_string(p->port), std::to_string(destination_port)},
                          p->dir / "proxy.log") ||
        !WaitForGreeting(p->port, 8000)) {
        p->error = "ftp-proxy did not answer";
        p->process.Stop();
    }
    return p;
}

}  // namespace ftptest
