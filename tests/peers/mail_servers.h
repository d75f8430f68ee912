#pragma once
// Real mail servers for the tests on free ports of 127.0.0.1, each in its own temporary
// directory, stopped when their holder goes away: aiosmtpd taking submissions after AUTH
// (tests/servers/smtp_submission.py) and Dovecot's POP3 server (tests/servers/dovecot_pop3.sh).
// The TLS ones use the test certificates of ftptest::Certificates().
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "peers/ftp_servers.h"

namespace mailtest {

enum class SmtpKind {
    StartTls,  // STARTTLS required, AUTH only after it
    Implicit,  // TLS from the first byte
    Plain,     // no STARTTLS, AUTH in clear
};

struct SmtpServer {
    std::filesystem::path dir;
    int port = 0;
    std::string user = "taro", password = "submission-pw";
    std::string error;  // why it could not start
    ftptest::ServerProcess process;
    ~SmtpServer();
    // Where every accepted message lands (one file each, in new/ or, once served, cur/).
    std::filesystem::path Maildir() const { return dir / "Maildir"; }
    std::size_t MessageCount() const;
    // One line per AUTH attempt: "MECHANISM LOGIN ok|refused".
    std::vector<std::string> AuthLog() const;
};

// `cert`: the test certificate the server shows.
std::unique_ptr<SmtpServer> StartSmtpServer(SmtpKind kind, const std::string& cert = "server");

struct PopServer {
    std::filesystem::path dir;
    int port = 0;     // plain, or STLS when TLS is on
    int tlsPort = 0;  // TLS from the first byte (with TLS on)
    std::string user = "popuser", password = "pop-pw";
    std::string error;
    ftptest::ServerProcess process;
    ~PopServer();
};

// Serves `maildir`; with `tls`, TLS is required (STLS on `port`, implicit on `tlsPort`) and the
// server shows the test certificate `cert`.
std::unique_ptr<PopServer> StartPopServer(const std::filesystem::path& maildir, bool tls,
                                          const std::string& cert = "server");

}  // namespace mailtest
