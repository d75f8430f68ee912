// The notification through mail submission: real servers on free ports of 127.0.0.1 (FTP,
// aiosmtpd with STARTTLS or TLS and AUTH, Dovecot requiring TLS), the ports and security taken
// from the profile's Connect.dat entry; and each failure of TLS or log-in told in words, logged,
// with no mail sent.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "peers/ftp_servers.h"
#include "peers/mail_servers.h"
#include "send_fixture.h"
#include "settings/connection_settings.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using mailtest::SmtpKind;
using platform::texts;
using settings::TSecurity;

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

// A TLS failure's words for the server 127.0.0.1.
std::string AtHost(const std::string& reason) {
    return texts().FieldOpen + "127.0.0.1" + texts().FieldClose + reason;
}

#define OR_SKIP(server)                                                            \
    do {                                                                           \
        if (!(server)->error.empty()) FERNLAY_SERVER_UNAVAILABLE((server)->error); \
    } while (0)

class MailSubmissionTest : public SendWorkflowTest {
protected:
    void SetUp() override {
        const auto& certs = ftptest::Certificates();
        if (certs.dir.empty()) FERNLAY_SERVER_UNAVAILABLE(certs.error);
        ftptest::TrustTestCa();
    }

    void WriteConnections(const settings::TConnectionSettings& cs) {
        settings::ConnectionStore store(data.path());
        store.SetProfile("demo", cs);
        store.Save();
    }

    static settings::TConnectionSettings Submission(const mailtest::SmtpServer& smtp,
                                                    TSecurity security) {
        settings::TConnectionSettings cs;
        cs.SmtpPort = smtp.port;
        cs.SmtpSecurity = security;
        cs.SmtpAuth = true;
        cs.SmtpUser = smtp.user;
        cs.SmtpPassword = smtp.password;
        return cs;
    }

    // A resend of the chosen file: only the mail phase runs. True when the mail went out.
    // `edit` changes the profile in memory before the send; `answers` go to the confirmation
    // and any question after it.
    bool Resend(const settings::TConnectionSettings& cs,
                const ProfileOptions& profile = {.popAuth = "0"},
                const std::function<void(settings::TSenderProfile&)>& edit = {},
                std::deque<bool> answers = {true}) {
        WriteData(profile);
        WriteConnections(cs);
        fs::remove(data.path() / "ErrorLog.txt");
        StartScreen();
        if (edit) edit(screen->State().CurrentProfile);
        ChooseFile(10);
        screen->State().ResendMode = true;
        screen->State().TransferOk = true;
        view.yesNoAnswers = std::move(answers);
        app::SendJob job(*screen);
        job.StartSend();
        return job.Mail().Delivered();
    }
};

struct WholeSendCase {
    const char* name;
    SmtpKind smtp;
    TSecurity smtpSecurity;
    TSecurity popSecurity;
};

class WholeSend : public MailSubmissionTest, public ::testing::WithParamInterface<WholeSendCase> {};

// Upload, then POP before SMTP over TLS and the notification submitted with AUTH over TLS; the
// next "送信" logs in to POP3 again and reads the first notification back.
TEST_P(WholeSend, DeliversTheNotification) {
    const WholeSendCase& c = GetParam();
    auto ftp = ftptest::StartFtpServer(ftptest::Kind::Pyftpdlib);
    OR_SKIP(ftp);
    auto smtp = mailtest::StartSmtpServer(c.smtp);
    OR_SKIP(smtp);
    auto pop = mailtest::StartPopServer(smtp->Maildir(), true);
    OR_SKIP(pop);

    WriteData({.ftpUser = ftp->user, .ftpPassword = ftp->password, .popPassword = pop->password});
    settings::TConnectionSettings cs = Submission(*smtp, c.smtpSecurity);
    cs.FtpPort = ftp->port;
    cs.PopSecurity = c.popSecurity;
    cs.PopPort = c.popSecurity == TSecurity::Implicit ? pop->tlsPort : pop->port;
    WriteConnections(cs);
    StartScreen();
    ChooseFile(2000);
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    EXPECT_EQ(view.messages.size(), 1u) << view.messages.back();  // the confirmation only
    EXPECT_EQ(ErrorLog(), "");
    EXPECT_EQ(view.status, texts().StatusSendDone);
    EXPECT_TRUE(job.Mail().Delivered());
    EXPECT_TRUE(fs::exists(ftp->root / "www" / localName));  // the server stores UTF-8 names
    EXPECT_EQ(smtp->MessageCount(), 1u);
    EXPECT_EQ(smtp->AuthLog(), (std::vector<std::string>{"PLAIN taro ok"}));
    EXPECT_EQ(job.Mail().PopRetrieved(), 0);
    const auto mails = ReadMailJson(smtp->Maildir());
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(Contains(mails[0], "tanaka@example.test")) << mails[0];
    EXPECT_TRUE(Contains(mails[0], headerText)) << mails[0];

    view.yesNoAnswers = {true};
    job.StartSend();
    EXPECT_EQ(view.status, texts().StatusSendDone);
    EXPECT_EQ(job.Mail().PopRetrieved(), 1);
    EXPECT_EQ(smtp->MessageCount(), 2u);
    EXPECT_EQ(ErrorLog(), "");
}

INSTANTIATE_TEST_SUITE_P(Modes, WholeSend,
                         ::testing::Values(WholeSendCase{"StartTlsAndStls", SmtpKind::StartTls,
                                                         TSecurity::Explicit, TSecurity::Explicit},
                                           WholeSendCase{"ImplicitTls", SmtpKind::Implicit,
                                                         TSecurity::Implicit, TSecurity::Implicit}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each refusal is told with its own words, logged, and no mail goes out.
TEST_F(MailSubmissionTest, FailuresAreToldAndNoMailGoesOut) {
    const auto& t = texts();
    struct Case {
        const char* name;
        SmtpKind kind;
        std::string cert;
        TSecurity security;
        std::string password;  // empty: the right one
        std::string message;
        std::string logged;
        std::vector<std::string> auth;
    };
    const std::vector<Case> cases = {
        {"wrong password",
         SmtpKind::StartTls,
         "server",
         TSecurity::Explicit,
         "wrong",
         t.SmtpAuthFailed + t.MailNotSent,
         t.SmtpAuthFailed + " 127.0.0.1: 535 ",
         {"PLAIN taro refused"}},
        {"no STARTTLS when it was asked for",
         SmtpKind::Plain,
         "server",
         TSecurity::Explicit,
         "",
         t.SmtpNoStartTls + t.MailNotSent,
         t.SmtpNoStartTls + " 127.0.0.1: STARTTLS not offered",
         {}},
        // The trust question is answered No.
        {"expired certificate",
         SmtpKind::Implicit,
         "expired",
         TSecurity::Implicit,
         "",
         t.SmtpConnectFailed + "\r\n" + AtHost(t.TlsExpired),
         "Certificate expired",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto smtp = mailtest::StartSmtpServer(c.kind, c.cert);
        OR_SKIP(smtp);
        settings::TConnectionSettings cs = Submission(*smtp, c.security);
        if (!c.password.empty()) cs.SmtpPassword = c.password;
        view = HistoryView();
        EXPECT_FALSE(Resend(cs));
        EXPECT_TRUE(view.SawMessage(c.message))
            << (view.messages.empty() ? "" : view.messages.back());
        EXPECT_TRUE(Contains(ErrorLog(), c.logged)) << ErrorLog();
        EXPECT_NE(view.status, t.StatusSendDone);
        EXPECT_EQ(smtp->MessageCount(), 0u);
        EXPECT_EQ(smtp->AuthLog(), c.auth);
        // The next "送信" tries the mail again.
        EXPECT_TRUE(screen->State().ResendMode);
    }
}

// With security "none" chosen, AUTH goes in clear to a server that offers it; the server field
// names the port, over the settings' 25.
TEST_F(MailSubmissionTest, PlainLogInToThePortOfTheServerField) {
    auto smtp = mailtest::StartSmtpServer(SmtpKind::Plain);
    OR_SKIP(smtp);
    settings::TConnectionSettings cs = Submission(*smtp, TSecurity::None);
    cs.SmtpPort = 25;
    EXPECT_TRUE(Resend(cs, {.popAuth = "0"}, [&](settings::TSenderProfile& p) {
        p.SmtpServer = "127.0.0.1:" + std::to_string(smtp->port);
    }));
    EXPECT_EQ(ErrorLog(), "");
    EXPECT_EQ(smtp->MessageCount(), 1u);
    EXPECT_EQ(smtp->AuthLog(), (std::vector<std::string>{"PLAIN taro ok"}));
}

// Certificates that do not verify, trusted when asked: POP3 and SMTP each put their question,
// store the fingerprint in the profile's connection settings, and the next send asks nothing.
TEST_F(MailSubmissionTest, TrustedCertificatesAreStoredPerServer) {
    auto smtp = mailtest::StartSmtpServer(SmtpKind::Implicit, "selfsigned");
    OR_SKIP(smtp);
    auto pop = mailtest::StartPopServer(smtp->Maildir(), true, "selfsigned");
    OR_SKIP(pop);
    settings::TConnectionSettings cs = Submission(*smtp, TSecurity::Implicit);
    cs.PopSecurity = TSecurity::Implicit;
    cs.PopPort = pop->tlsPort;
    view = HistoryView();
    EXPECT_TRUE(Resend(cs, {.popPassword = pop->password}, {}, {true, true, true}));
    ASSERT_EQ(view.messages.size(), 3u) << "the confirmation and two questions";
    const settings::TConnectionSettings stored = screen->Connections().ForProfile("demo");
    ASSERT_FALSE(stored.PopFingerprint.empty());
    EXPECT_EQ(stored.SmtpFingerprint, stored.PopFingerprint);  // the same certificate
    EXPECT_TRUE(Contains(view.messages[1], AtHost(texts().TlsUnknownIssuer))) << view.messages[1];
    EXPECT_TRUE(Contains(view.messages[1], stored.PopFingerprint));
    EXPECT_TRUE(Contains(view.messages[2], stored.SmtpFingerprint));
    EXPECT_EQ(smtp->MessageCount(), 1u);
    ASSERT_TRUE(screen->SaveOnExit());
    const std::string file = data.Read("Connect.dat");
    EXPECT_TRUE(Contains(file, "smtp.fingerprint=" + stored.SmtpFingerprint)) << file;
    EXPECT_TRUE(Contains(file, "pop.fingerprint=" + stored.PopFingerprint)) << file;

    // A new start reads the trusted certificates back.
    view = HistoryView();
    screen = std::make_unique<app::MainScreen>(view, data.path());
    screen->StartUp();
    ChooseFile(10);
    screen->State().ResendMode = true;
    screen->State().TransferOk = true;
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();
    EXPECT_TRUE(job.Mail().Delivered());
    EXPECT_EQ(view.messages.size(), 1u) << "no question once trusted";
    EXPECT_EQ(smtp->MessageCount(), 2u);
}

// POP before SMTP whose TLS cannot start: told and logged, no SMTP connection.
TEST_F(MailSubmissionTest, PopTlsFailuresAreToldBeforeAnySmtp) {
    const auto& t = texts();
    struct Case {
        const char* name;
        std::vector<peers::Step> steps;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"STLS refused",
         {peers::Send("+OK ready\r\n"), peers::Expect("STLS"), peers::Send("-ERR no TLS\r\n")},
         t.Pop3StlsRefused},
        {"STLS, then the server hangs up",
         {peers::Send("+OK ready\r\n"), peers::Expect("STLS"), peers::Send("+OK go\r\n"),
          peers::Close()},
         t.Pop3ConnectFailed + "\r\n" + AtHost(t.TlsHandshakeFailed)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        peers::ScriptedPeer pop(c.steps);
        settings::TConnectionSettings cs;
        cs.SmtpPort = ftptest::FreePort();  // nothing there: reaching it would be told
        cs.PopSecurity = TSecurity::Explicit;
        view = HistoryView();
        // The port comes from the server field, over the settings' 110.
        EXPECT_FALSE(Resend(cs, {.popAuth = "1"}, [&](settings::TSenderProfile& p) {
            p.Pop3Server = "127.0.0.1:" + std::to_string(pop.Port());
        }));
        EXPECT_TRUE(view.SawMessage(c.message))
            << (view.messages.empty() ? "" : view.messages.back());
        EXPECT_TRUE(Contains(ErrorLog(), t.Pop3ConnectError)) << ErrorLog();
        ASSERT_TRUE(pop.WaitDone());
        EXPECT_EQ(pop.Transcript(), std::vector<std::string>{"STLS"});
        EXPECT_FALSE(view.SawMessage(t.SmtpConnectFailed)) << "SMTP was tried";
    }
}

}  // namespace
}  // namespace apptest
