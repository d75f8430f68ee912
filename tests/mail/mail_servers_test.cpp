// Real servers on 127.0.0.1: a message sent with the SMTP component reaches aiosmtpd exactly as
// rendered, and Dovecot's POP3 server hands it back to the POP3 component and the parser.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "mail/orb_pop.h"
#include "mail/orb_smtp.h"
#include "peers/require_server.h"
#include "platform/texts.h"

namespace {

namespace fs = std::filesystem;
using platform::Sjis;

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

bool Answers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A server process in its own process group, stopped with its children at the end.
class Server {
public:
    Server(std::vector<std::string> argv, const fs::path& log, int port) : port_(port) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            std::FILE* out = std::freopen(log.c_str(), "w", stdout);
            (void)out;
            ::dup2(STDOUT_FILENO, STDERR_FILENO);
            std::vector<char*> args;
            for (auto& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Server() {
        if (pid_ <= 0) return;
        ::kill(-pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, &status, WNOHANG);
    }
    // Waits until the port accepts connections (false after 10 s or when the process ended).
    bool Ready() const {
        for (int i = 0; i < 200; ++i) {
            if (Answers(port_)) return true;
            int status = 0;
            if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) == pid_) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    pid_t pid_ = -1;
    int port_;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Rendering of the expected copy; no attachments, so only the host name matters.
struct QuietSession : mail::RenderSession {
    std::string LocalHostName() override { return "host"; }
    bool AbortRequested() override { return false; }
    unsigned EncodeProgressStep() override { return 10; }
    void EncodeStart(const std::string&, std::uint64_t) override {}
    void EncodeProgress(unsigned) override {}
    void EncodeEnd() override {}
    void PumpEvents() override {}
};

TEST(MailServers, SmtpToMaildirToPop3RoundTrip) {
    if (::geteuid() != 0) FERNLAY_SERVER_UNAVAILABLE("Dovecot's test set-up needs root");
    if (!fs::exists("/usr/sbin/dovecot")) FERNLAY_SERVER_UNAVAILABLE("dovecot is not installed");
    char tmpl[] = "/tmp/fernlay-mail-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const fs::path root = tmpl;
    ::chmod(tmpl, 0755);  // Dovecot's users must reach the files below
    const fs::path servers = fs::path(FERNLAY_SOURCE_DIR) / "tests/servers";
    const int smtp_port = FreePort();
    const int pop_port = FreePort();
    Server smtp_server({"/usr/bin/python3", (servers / "smtp_maildir.py").string(),
                        std::to_string(smtp_port), (root / "smtp").string()},
                       root / "smtp.log", smtp_port);
    if (!smtp_server.Ready())
        FERNLAY_SERVER_UNAVAILABLE("aiosmtpd: " + ReadFile(root / "smtp.log"));
    Server pop_server(
        {"/bin/sh", (servers / "dovecot_pop3.sh").string(), (root / "dc").string(),
         (root / "smtp/Maildir").string(), std::to_string(pop_port), "taro", "secret"},
        root / "dovecot.out", pop_port);
    if (!pop_server.Ready()) {
        FERNLAY_SERVER_UNAVAILABLE("dovecot: " + ReadFile(root / "dovecot.out") +
                                   ReadFile(root / "dc/dovecot.log"));
    }

    const std::string subject = Sjis(u8"ファイル送信のお知らせ");
    const std::vector<std::string> body = {Sjis(u8"山田様"), "", Sjis(u8"ファイルをお送りします。"),
                                           ".dot line", "http://example.jp/send/report.pdf"};
    mail::TOrbMsg m;
    m.JPName = Sjis(u8"山田 太郎");
    m.From = "taro@example.jp";
    m.SendTo = "hanako@example.jp";
    m.CC = "jiro@example.jp";
    m.Subject = subject;
    m.Text = body;
    m.CharSet = "ISO-2022-JP";
    mail::TOrbMsg copy = m;

    mail::TOrbSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = std::to_string(smtp_port);
    smtp.Connect();
    ASSERT_FALSE(smtp.ErrorFlag) << smtp.ReplyCode << " " << smtp.ReplyText;
    ASSERT_TRUE(smtp.SendMessage(m));
    EXPECT_FALSE(smtp.ErrorFlag) << smtp.ReplyCode << " " << smtp.ReplyText;
    smtp.Quit();
    EXPECT_FALSE(smtp.ErrorFlag);

    // Envelope of the To and the CC transaction.
    EXPECT_EQ(ReadFile(root / "smtp/raw/1.env"), "taro@example.jp\nhanako@example.jp\n");
    EXPECT_EQ(ReadFile(root / "smtp/raw/2.env"), "taro@example.jp\njiro@example.jp\n");
    // The data as rendered: the same lines (transparency undone by the server), the extra
    // empty line before the terminator, and only the random Message-Id differs.
    copy.Date = m.Date;
    QuietSession session;
    const auto rendered = mail::RenderMessage(session, copy);
    ASSERT_TRUE(rendered);
    const std::string received = ReadFile(root / "smtp/raw/1.eml");
    ASSERT_EQ(received.rfind("Message-Id: <ORB.", 0), 0u);
    std::string expected = received.substr(0, received.find("\r\n") + 2);
    for (std::size_t i = 1; i < rendered->size(); ++i) {
        const std::string& line = (*rendered)[i];
        expected += (line.rfind("..", 0) == 0 ? line.substr(1) : line) + "\r\n";
    }
    expected += "\r\n";
    EXPECT_EQ(received, expected);
    EXPECT_EQ(ReadFile(root / "smtp/raw/2.eml"), received);

    mail::TOrbPOP pop;
    pop.Host = "127.0.0.1";
    pop.Port = std::to_string(pop_port);
    pop.UserId = "taro";
    pop.Passwd = "secret";
    pop.Connect();
    ASSERT_FALSE(pop.ErrorFlag) << pop.StatusText;
    ASSERT_TRUE(pop.Login()) << pop.StatusText;
    EXPECT_EQ(pop.CountNewMessages(), 0) << "Dovecot has no LAST";
    EXPECT_FALSE(pop.LastSucceeded);
    EXPECT_EQ(pop.MessageCount, 2);
    mail::TOrbMsgList list;
    ASSERT_EQ(pop.RetrieveAll(list), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const mail::TOrbMsg* got = list[i];
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->Subject, subject);
        EXPECT_EQ(got->From, Sjis(u8"山田 太郎<taro@example.jp>"));
        EXPECT_EQ(got->SendTo, "hanako@example.jp");
        EXPECT_EQ(got->CC, "\"jiro@example.jp\" <jiro@example.jp>");
        std::vector<std::string> text = body;
        text.push_back("");  // the empty line before the terminator
        EXPECT_EQ(got->Text, text);
        EXPECT_EQ(got->Size, static_cast<std::int64_t>(received.size()));
    }
    pop.Quit();
    EXPECT_FALSE(pop.Connected);

    std::error_code ec;
    fs::remove_all(root, ec);
}

}  // namespace
