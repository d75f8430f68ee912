// What a send counts as done, and what it refuses to send: the FTP side is a scripted server
// reached as the proxy, the SMTP side a scripted server on a free port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "peers/ftp_peer.h"
#include "send_fixture.h"

namespace apptest {
namespace {

using namespace peers;
using platform::texts;
using Lines = std::vector<std::string>;

std::vector<Step> Cat(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

class SendOutcomeTest : public SendWorkflowTest {
protected:
    // A send through the proxy at `port`, Yes answered; true when the notification went out.
    bool SendThroughProxy(std::uint16_t port) {
        screen->Environment().SelectUseProxy();
        screen->Environment().ProxyHost = "127.0.0.1";
        screen->Environment().ProxyPort = port;
        view.yesNoAnswers = {true};
        app::SendJob job(*screen);
        job.StartSend();
        return job.Mail().Delivered();
    }
};

// One table for every way an upload ends: only a log-in that completed and a 2xx reply after
// the data make a stored file, which alone is logged and announced. Everything else fails with
// a message and an error-log line, and no mail goes out.
TEST_F(SendOutcomeTest, OnlyAConfirmedUploadIsLoggedAndAnnounced) {
    enum class Outcome { Stored, UploadFailed, LogInFailed };
    const std::string stor = "STOR " + S(localName.c_str());
    auto ch = std::make_shared<DataChannel>();
    auto logIn = [](const std::string& passReply) {
        return std::vector<Step>{Send("220 proxy ready\r\n"), Expect("USER fern@127.0.0.1"),
                                 Send("331 pass\r\n"), Expect("PASS ftppass"), Send(passReply)};
    };
    const std::vector<Step> toData = {Expect("CWD www"),  Send("250 ok\r\n"), Expect("TYPE I"),
                                      Send("200 ok\r\n"), ExpectPort(ch),     Expect(stor),
                                      Send("150 go\r\n"), ReceiveData(ch)};
    const std::vector<Step> quit = {Expect("QUIT"), Send("221 bye\r\n")};
    struct Case {
        std::string name;
        std::vector<Step> steps;
        Outcome outcome;
        std::string errorLog;  // the error-log line's text
    };
    const std::vector<Case> cases = {
        {"226", Cat({logIn("230 in\r\n"), toData, {Send("226 stored\r\n")}, quit}), Outcome::Stored,
         ""},
        {"250", Cat({logIn("230 in\r\n"), toData, {Send("250 stored\r\n")}, quit}), Outcome::Stored,
         ""},
        {"another 2xx after PASS logs in",
         Cat({logIn("202 no password needed\r\n"), toData, {Send("226 stored\r\n")}, quit}),
         Outcome::Stored, ""},
        {"control connection closed after the data", Cat({logIn("230 in\r\n"), toData, {Close()}}),
         Outcome::UploadFailed, "Upload failure"},
        {"110 then 452",
         Cat({logIn("230 in\r\n"),
              toData,
              {Send("110 MARK 10 = 10\r\n"), Send("452 not stored\r\n", 100)},
              quit}),
         Outcome::UploadFailed, "Upload failure"},
        {"451", Cat({logIn("230 in\r\n"), toData, {Send("451 local error\r\n")}, quit}),
         Outcome::UploadFailed, "Upload failure"},
        {"closed during the log-in",
         {Send("220 proxy ready\r\n"), Expect("USER fern@127.0.0.1"), Send("331 pass\r\n"),
          Expect("PASS ftppass"), Close()},
         Outcome::LogInFailed,
         "FTP failure: Connection closed by server"},
        {"user answered 200 is no log-in",
         Cat({{Send("220 proxy ready\r\n"), Expect("USER fern@127.0.0.1"), Send("200 ok\r\n")},
              quit}),
         Outcome::LogInFailed, "FTP failure: 200 ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool stored = c.outcome == Outcome::Stored;
        WriteData({.popAuth = "0"});
        std::filesystem::remove(data.path() / "ErrorLog.txt");
        view = HistoryView();
        ch->bytes = 0;
        std::unique_ptr<ScriptedPeer> smtp;
        if (stored) {
            smtp = SmtpPeer({Send("220 ready\r\n"), Expect(), Send("250 hi\r\n"),
                             Expect("MAIL FROM:<sender@example.test>"), Send("250 ok\r\n"),
                             Expect("RCPT TO:<tanaka@example.test>"), Send("250 ok\r\n"),
                             Expect("DATA"), Send("354 go\r\n"), ExpectUntil("."),
                             Send("250 queued\r\n"), Expect("QUIT"), Send("221 bye\r\n")});
        }
        ScriptedPeer ftp(c.steps);
        StartScreen();
        ChooseFile(10);
        const bool delivered = SendThroughProxy(ftp.Port());

        ASSERT_TRUE(ftp.WaitDone());
        EXPECT_EQ(delivered, stored);
        EXPECT_EQ(ftp.Errors(), Lines{});
        EXPECT_EQ(screen->LogList().size(), stored ? 1u : 0u);
        EXPECT_EQ(screen->State().TransferOk, stored);
        EXPECT_EQ(screen->State().ResendMode, stored);
        EXPECT_EQ(view.SawStatus(texts().StatusMailConnecting), stored) << "mail phase";
        EXPECT_TRUE(view.enabled);
        if (stored) {
            ASSERT_TRUE(smtp->WaitDone());
            EXPECT_EQ(smtp->Errors(), Lines{});
            EXPECT_EQ(view.status, texts().StatusSendDone);
            EXPECT_EQ(view.messages.size(), 1u) << "only the confirmation";
            EXPECT_EQ(ErrorLog(), "");
            continue;
        }
        EXPECT_NE(ErrorLog().find(":" + c.errorLog + "\r\n"), std::string::npos) << ErrorLog();
        EXPECT_NE(view.status, texts().StatusSendDone);
        EXPECT_NE(view.status, texts().StatusTransferring);
        ASSERT_EQ(view.messages.size(), 2u);
        if (c.outcome == Outcome::LogInFailed) {
            EXPECT_EQ(view.messages[1], texts().FtpConnectFailed);
            EXPECT_FALSE(view.SawStatus(texts().StatusTransferring));
        } else {
            EXPECT_EQ(view.messages[1], texts().FtpErrorDisconnect);
            EXPECT_EQ(ch->bytes, 10);
        }
    }
}

// A listening socket nobody is meant to reach.
class Untouched {
public:
    Untouched() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Untouched() { ::close(fd_); }
    std::uint16_t Port() const { return port_; }
    bool Reached() const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// Values that would add header lines, smuggle SMTP parameters or break an FTP command line are
// refused with a message naming the field before anything is asked, uploaded or sent.
TEST_F(SendOutcomeTest, HostileFieldsAreRefusedBeforeAnythingIsSent) {
    const std::string breaks = S("に改行などの制御文字が含まれているため送信できません。");
    const std::string address =
        S("のメールアドレスに「<」「>」「,」や空白が含まれているため送信できません。");
    const std::string tooLong = S("が長すぎるため送信できません。");
    struct Case {
        std::string field;
        std::function<void(app::MainScreen&, HistoryView&)> change;
        std::string message;
    };
    auto profile = [](app::MainScreen& s) -> settings::TSenderProfile& {
        return s.State().CurrentProfile;
    };
    const std::vector<Case> cases = {
        {"subject: CR LF and a Bcc line",
         [](app::MainScreen&, HistoryView& v) { v.subject = "Hello\r\nBcc: evil@example.test"; },
         S("「件名」") + breaks},
        {"subject: NUL",
         [](app::MainScreen&, HistoryView& v) { v.subject = std::string("Hello\0x", 7); },
         S("「件名」") + breaks},
        {"reply address: a lone CR",
         [&](app::MainScreen& s, HistoryView&) {
             profile(s).ReplyAddress = "reply@example.test\rBcc: evil@example.test";
         },
         S("「返信ｱﾄﾞﾚｽ」") + breaks},
        {"mail name: LF",
         [&](app::MainScreen& s, HistoryView&) { profile(s).MailName = S("山田\nBcc: x@y"); },
         S("「名前」") + breaks},
        {"sender address: ESMTP parameter after >",
         [&](app::MainScreen& s, HistoryView&) {
             profile(s).MailAddress = "sender@example.test> SIZE=1";
         },
         S("「電子ﾒｰﾙｱﾄﾞﾚｽ」") + address},
        {"POP3 account: LF",
         [&](app::MainScreen& s, HistoryView&) {
             profile(s).PopAuth = "1";
             profile(s).PopAccount = "pop\nDELE 1";
         },
         S("「ｱｶｳﾝﾄ名」") + breaks},
        {"recipient's name: NUL from a hand-edited address book",
         [&](app::MainScreen& s, HistoryView&) {
             platform::WriteLines(data.path() / "Adress.dat",
                                  {S("田中") + std::string("\0,", 2) + "tanaka@example.test"});
             s.Addresses().Load();
         },
         S("「送信先」") + breaks},
        {"SMTP password (a hand-edited Connect.dat): CR LF",
         [&](app::MainScreen& s, HistoryView&) {
             platform::WriteLines(data.path() / "Connect.dat",
                                  {"P\tdemo\tsmtp.auth=1\tsmtp.user=taro\tsmtp.password=" +
                                   settings::EncodePassword("pw\r\nRSET")});
             s.Connections().Load();
         },
         S("「SMTP認証のﾊﾟｽﾜｰﾄﾞ」") + breaks},
        {"SMTP server: port beyond 65535",
         [&](app::MainScreen& s, HistoryView&) { profile(s).SmtpServer = "127.0.0.1:99999"; },
         S("「SMTPｻｰﾊﾞｰ」のﾎﾟｰﾄ番号が正しくないため送信できません。")},
        {"FTP user: NUL",
         [&](app::MainScreen& s, HistoryView&) { profile(s).FtpUserId = std::string("fe\0rn", 5); },
         S("「ﾕｰｻﾞｰID」") + breaks},
        {"directory: longer than a command line",
         [](app::MainScreen& s, HistoryView& v) {
             v.directoryText = "\\" + std::string(1100, 'd');
             s.DirectoryFieldChanged();
         },
         S("「送信ﾃﾞｨﾚｸﾄﾘ」") + tooLong},
        {"FTP host: a port that is no port",
         [&](app::MainScreen& s, HistoryView&) { profile(s).FtpHost = "127.0.0.1:99999"; },
         S("「ﾎｽﾄｱﾄﾞﾚｽ」のﾎﾟｰﾄ番号が正しくないため送信できません。")},
        {"start folder: a TAB would split the logged connection of a TLS upload",
         [&](app::MainScreen& s, HistoryView&) {
             settings::TConnectionSettings tls;
             tls.FtpSecurity = settings::TSecurity::Explicit;
             s.Connections().SetProfile("demo", tls);
             profile(s).HostStartFolder = "a\tb";
         },
         S("「ﾎｽﾄ開始ﾌｫﾙﾀﾞ」") + breaks},
    };
    const std::vector<std::pair<std::string, std::string>> recipients = {
        {"tanaka@example.test> NOTIFY=SUCCESS,FAILURE", "ESMTP parameter after >"},
        {"Tanaka <tanaka example.test>", "blank inside the brackets"},
        {"<tanaka<evil@example.test>", "< inside the brackets"},
    };
    for (const auto& [value, why] : recipients) {
        SCOPED_TRACE(why);
        WriteData({.popAuth = "0", .recipient = value});
        view = HistoryView();
        Untouched proxy;
        StartScreen();
        ChooseFile(10);
        SendThroughProxy(proxy.Port());
        EXPECT_EQ(view.messages, Lines{S("「送信先」") + address});
        EXPECT_FALSE(proxy.Reached());
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        std::filesystem::remove(data.path() / "Connect.dat");
        WriteData({.popAuth = "0"});
        view = HistoryView();
        Untouched proxy;
        StartScreen();
        ChooseFile(10);
        c.change(*screen, view);
        SendThroughProxy(proxy.Port());
        EXPECT_EQ(view.messages, Lines{c.message}) << "refused before the confirmation";
        EXPECT_FALSE(proxy.Reached());
        EXPECT_FALSE(view.SawStatus(texts().StatusConnecting));
        EXPECT_FALSE(view.SawStatus(texts().StatusMailConnecting));
        EXPECT_TRUE(screen->LogList().empty());
        EXPECT_TRUE(view.enabled);
    }
}

// A reply without a number is told in words, quoted, not as a failed number conversion.
TEST_F(SendOutcomeTest, MalformedSmtpReplyIsToldInWords) {
    WriteData({.popAuth = "0"});
    WriteLoggedSend();
    auto smtp = SmtpPeer({Send("220 ready\r\n"), Expect(), Send("250 hi\r\n"),
                          Expect("MAIL FROM:<sender@example.test>"), Send("abc\r\n")});
    StartScreen();
    ASSERT_TRUE(app::SelectResend(*screen, 1, 1));
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    ASSERT_TRUE(smtp->WaitDone());
    const std::string words = "The server's reply could not be understood: \"abc\"";
    EXPECT_EQ(view.messages.back(), "Error: " + words);
    EXPECT_NE(ErrorLog().find(":" + words + "\r\n"), std::string::npos) << ErrorLog();
    EXPECT_FALSE(job.Mail().Delivered());
}

}  // namespace
}  // namespace apptest
