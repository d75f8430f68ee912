#include "peers/mail_servers.h"

#include <unistd.h>

#include <fstream>

namespace mailtest {

namespace fs = std::filesystem;

namespace {

const fs::path kServers = fs::path(FERNLAY_SOURCE_DIR) / "tests" / "servers";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

SmtpServer::~SmtpServer() {
    process.Stop();
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
}

std::size_t SmtpServer::MessageCount() const {
    std::size_t n = 0;
    std::error_code ec;
    // A POP3 server that served a message moves it on to cur/.
    for (const char* sub : {"new", "cur"})
        for (const auto& e : fs::directory_iterator(Maildir() / sub, ec)) n += e.is_regular_file();
    return n;
}

std::vector<std::string> SmtpServer::AuthLog() const {
    std::vector<std::string> lines;
    std::ifstream in(dir / "auth.log");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::unique_ptr<SmtpServer> StartSmtpServer(SmtpKind kind, const std::string& cert) {
    auto s = std::make_unique<SmtpServer>();
    const auto& certs = ftptest::Certificates();
    if (certs.dir.empty()) {
        s->error = certs.error;
        return s;
    }
    s->dir = ftptest::MakeTempDir("smtpd");
    s->port = ftptest::FreePort();
    const char* mode = kind == SmtpKind::StartTls   ? "starttls"
                       : kind == SmtpKind::Implicit ? "implicit"
                                                    : "plain";
    const fs::path log = s->dir / "server.log";
    if (!s->process.Start({"/usr/bin/python3", (kServers / "smtp_submission.py").string(),
                           std::to_string(s->port), s->dir.string(), certs.Pem(cert).string(),
                           certs.Key(cert).string(), mode, s->user, s->password},
                          log) ||
        !ftptest::WaitForPort(s->port, 10000)) {
        s->error = "aiosmtpd did not answer: " + ReadText(log);
        s->process.Stop();
    }
    return s;
}

PopServer::~PopServer() {
    process.Stop();
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
}

std::unique_ptr<PopServer> StartPopServer(const fs::path& maildir, bool tls,
                                          const std::string& cert) {
    auto s = std::make_unique<PopServer>();
    if (::geteuid() != 0 || !fs::exists("/usr/sbin/dovecot")) {
        s->error = "Dovecot's test set-up needs root and the dovecot-pop3d package";
        return s;
    }
    const auto& certs = ftptest::Certificates();
    if (tls && certs.dir.empty()) {
        s->error = certs.error;
        return s;
    }
    s->dir = ftptest::MakeTempDir("dovecot");
    s->port = ftptest::FreePort();
    std::vector<std::string> argv = {"/bin/sh",
                                     (kServers / "dovecot_pop3.sh").string(),
                                     s->dir.string(),
                                     maildir.string(),
                                     std::to_string(s->port),
                                     s->user,
                                     s->password};
    if (tls) {
        s->tlsPort = ftptest::FreePort();
        argv.insert(argv.end(), {certs.Pem(cert).string(), certs.Key(cert).string(),
                                 std::to_string(s->tlsPort)});
    }
    const fs::path log = s->dir / "server.out";
    if (!s->process.Start(argv, log) || !ftptest::WaitForPort(s->port, 10000) ||
        (tls && !ftptest::WaitForPort(s->tlsPort, 10000))) {
        s->error = "dovecot did not answer: " + ReadText(log) + ReadText(s->dir / "dovecot.log");
        s->process.Stop();
    }
    return s;
}

}  // namespace mailtest
