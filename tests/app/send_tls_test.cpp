// The send workflow over TLS and with UTF-8 names: the profile's connection settings reach the
// FTP side, the log record keeps how the upload connected so the deletion does the same, and
// every TLS failure is told with its host and reason, with nothing sent in clear.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app/send_log.h"
#include "peers/ftp_servers.h"
#include "send_fixture.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using platform::texts;
using Lines = std::vector<std::string>;

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

// "「127.0.0.1」" + the reason, as the messages and the question name the server.
std::string AtHost(const std::string& reason) {
    return texts().FieldOpen + "127.0.0.1" + texts().FieldClose + reason;
}

// SHA-256 of a certificate as openssl prints it ("AB:CD:...").
std::string FingerprintOf(const fs::path& pem) {
    const std::string cmd = "openssl x509 -noout -fingerprint -sha256 -in '" + pem.string() + "'";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    const std::size_t eq = out.find('=');
    if (eq == std::string::npos) return {};
    out = out.substr(eq + 1);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

class SendTlsTest : public SendWorkflowTest {
protected:
    std::unique_ptr<ftptest::FtpServer> ftp;

    // A TLS vsftpd with the test CA trusted, an SMTP server, and the profile pointed at both.
    bool StartTlsServers(ftptest::Kind kind, const std::string& cert, settings::TSecurity security,
                         bool passive) {
        const auto& certs = ftptest::Certificates();
        if (certs.dir.empty()) {
            problem_ = certs.error;
            return false;
        }
        ftptest::TrustTestCa();
        ftp = ftptest::StartFtpServer(kind, 0, cert);
        if (!ftp->error.empty()) {
            problem_ = "TLS vsftpd: " + ftp->error;
            return false;
        }
        fs::remove_all(work.path() / "srv");  // a fresh Maildir for every case
        if (!StartServers(false)) {
            problem_ = servers->Problem();
            return false;
        }
        UseFtpServer(*ftp, security, passive);
        return true;
    }

    void UseFtpServer(const ftptest::FtpServer& s, settings::TSecurity security, bool passive) {
        settings::TSenderProfile p =
            settings::ParseProfileLine(platform::ReadLines(data.path() / "User.Inf").at(0));
        p.FtpUserId = s.user;
        p.FtpPassword = s.password;
        platform::WriteLines(data.path() / "User.Inf", {settings::FormatProfileLine(p)});
        settings::ConnectionStore store(data.path());
        store.Load();
        settings::TConnectionSettings c = store.ForProfile("demo");
        c.FtpPort = s.port;
        c.FtpSecurity = security;
        store.SetProfile("demo", c);
        store.SetPassive(passive);
        store.Save();
    }

    // One send; the answers go to the confirmation and then the certificate question.
    void SendNow(std::deque<bool> answers = {true}) {
        view.yesNoAnswers = std::move(answers);
        app::SendJob job(*screen);
        job.StartSend();
    }

    app::DeletionOutcome DeleteRow1(RecordingDeletionView& dv) {
        app::Deletion deletion(dv, screen->LogList(), screen->Environment(), screen->Connections(),
                               data.path());
        deletion.FillGrid();
        return deletion.DeleteRemoteData();
    }

    std::string problem_;
};

#define START_TLS_OR_SKIP(...)                                                   \
    do {                                                                         \
        if (!StartTlsServers(__VA_ARGS__)) FERNLAY_SERVER_UNAVAILABLE(problem_); \
    } while (0)

// Explicit TLS in passive mode and implicit TLS in active mode: upload, a repeated mail, then
// the deletion connecting as the upload did (its record keeps the security).
TEST_F(SendTlsTest, UploadResendAndDeletionOverTls) {
    struct Case {
        const char* name;
        ftptest::Kind kind;
        settings::TSecurity security;
        bool passive;
    };
    for (const Case& c : {Case{"explicit, passive", ftptest::Kind::VsftpdExplicitTls,
                               settings::TSecurity::Explicit, true},
                          Case{"implicit, active", ftptest::Kind::VsftpdImplicitTls,
                               settings::TSecurity::Implicit, false}}) {
        SCOPED_TRACE(c.name);
        view = HistoryView();
        WriteData({.popAuth = "0"});
        fs::remove(data.path() / "Log.dat");
        START_TLS_OR_SKIP(c.kind, "server", c.security, c.passive);
        StartScreen();
        ChooseFile(300000);
        SendNow();
        const fs::path stored = ftp->root / "www" / fs::path(S(localName.c_str()));
        ASSERT_TRUE(fs::exists(stored)) << (view.messages.empty() ? "" : view.messages.back());
        EXPECT_EQ(fs::file_size(stored), 300000u);
        EXPECT_EQ(view.status, texts().StatusSendDone);
        EXPECT_EQ(ErrorLog(), "");
        ASSERT_EQ(screen->LogList().size(), 1u);
        const std::string record = screen->LogList().at(0);
        EXPECT_EQ(app::ParseLogRecord(record).LoggedFtpPort, std::to_string(ftp->port));
        EXPECT_EQ(screen->Connections().ForLogRecord(record).FtpSecurity, c.security);

        SendNow();  // the resend: mail only
        EXPECT_EQ(ReadMailJson(servers->Maildir()).size(), 2u);
        EXPECT_EQ(screen->LogList().size(), 1u);

        RecordingDeletionView dv;
        EXPECT_EQ(DeleteRow1(dv), app::DeletionOutcome::Deleted) << dv.status;
        EXPECT_FALSE(fs::exists(stored));
        EXPECT_EQ(dv.status, texts().StatusDeleteDone);
        EXPECT_EQ(screen->Connections().ForLogRecord(record), settings::TLoggedConnection{})
            << "the record's connection goes with it";
        servers.reset();
        ftp.reset();
    }
}

// A certificate that does not verify: the question names host, reason and fingerprint; No
// ends the send with the reason told and logged, nothing uploaded or mailed.
TEST_F(SendTlsTest, UnverifiedCertificatesAreToldWithTheirReason) {
    struct Case {
        const char* cert;
        std::string reason;
        std::string logged;  // in the error-log line
    };
    const auto& t = texts();
    for (const Case& c : {Case{"wrongname", t.TlsNameMismatch, "Certificate name mismatch"},
                          Case{"expired", t.TlsExpired, "Certificate expired"},
                          Case{"selfsigned", t.TlsUnknownIssuer, "Certificate issuer unknown"}}) {
        SCOPED_TRACE(c.cert);
        view = HistoryView();
        WriteData({.popAuth = "0"});
        fs::remove(data.path() / "ErrorLog.txt");
        START_TLS_OR_SKIP(ftptest::Kind::VsftpdExplicitTls, c.cert, settings::TSecurity::Explicit,
                          true);
        StartScreen();
        ChooseFile(10);
        SendNow({true, false});

        ASSERT_EQ(view.messages.size(), 3u);
        const std::string& question = view.messages[1];
        EXPECT_TRUE(Contains(question, AtHost(c.reason))) << question;
        EXPECT_TRUE(Contains(question, FingerprintOf(ftptest::Certificates().Pem(c.cert))));
        EXPECT_EQ(view.messages[2], t.FtpConnectFailed + "\r\n" + AtHost(c.reason));
        EXPECT_TRUE(Contains(ErrorLog(), c.logged)) << ErrorLog();
        EXPECT_TRUE(Contains(ErrorLog(), "127.0.0.1")) << ErrorLog();
        EXPECT_TRUE(fs::is_empty(ftp->root));
        EXPECT_TRUE(screen->LogList().empty());
        EXPECT_TRUE(ReadMailJson(servers->Maildir()).empty());
        EXPECT_EQ(screen->Connections().ForProfile("demo").FtpFingerprint, "");
        servers.reset();
        ftp.reset();
    }
}

// Trusting a self-signed certificate stores its fingerprint with the profile and the send
// goes through; the deletion trusts it through the record. Another certificate on the same
// profile is refused again without a question.
TEST_F(SendTlsTest, TrustedSelfSignedCertificateThenAChangedOneIsRefused) {
    WriteData({.popAuth = "0"});
    START_TLS_OR_SKIP(ftptest::Kind::VsftpdExplicitTls, "selfsigned", settings::TSecurity::Explicit,
                      true);
    StartScreen();
    ChooseFile(1000);
    SendNow({true, true});
    const fs::path stored = ftp->root / "www" / fs::path(S(localName.c_str()));
    ASSERT_TRUE(fs::exists(stored)) << view.messages.back();
    ASSERT_EQ(view.messages.size(), 2u) << "the confirmation and the question only";
    const std::string fingerprint = FingerprintOf(ftptest::Certificates().Pem("selfsigned"));
    EXPECT_EQ(screen->Connections().ForProfile("demo").FtpFingerprint, fingerprint);
    ASSERT_TRUE(screen->SaveOnExit());
    EXPECT_TRUE(Contains(data.Read("Connect.dat"), "ftp.fingerprint=" + fingerprint));

    RecordingDeletionView dv;
    EXPECT_EQ(DeleteRow1(dv), app::DeletionOutcome::Deleted);
    EXPECT_EQ(dv.messages.size(), 1u) << "no second question: the record trusts it";

    // The server now shows another certificate that does not verify either.
    auto other = ftptest::StartFtpServer(ftptest::Kind::VsftpdExplicitTls, 0, "wrongname");
    ASSERT_TRUE(other->error.empty()) << other->error;
    screen->Connections().SetProfile("demo", [&] {
        auto c = screen->Connections().ForProfile("demo");
        c.FtpPort = other->port;
        return c;
    }());
    view.messages.clear();
    screen->State().ResendMode = false;
    SendNow({true, true});
    ASSERT_EQ(view.messages.size(), 2u) << "no question for a changed certificate";
    EXPECT_EQ(view.messages[1],
              texts().FtpConnectFailed + "\r\n" + AtHost(texts().TlsCertificateChanged));
    EXPECT_TRUE(fs::is_empty(other->root));
    EXPECT_TRUE(Contains(ErrorLog(), "Certificate changed")) << ErrorLog();
    EXPECT_EQ(screen->Connections().ForProfile("demo").FtpFingerprint, fingerprint);
}

// A server that refuses AUTH TLS or drops the handshake: the message says so, only AUTH TLS
// went out in clear, and the same job can try again.
TEST_F(SendTlsTest, RefusedTlsAndDroppedHandshakeSendNothingInClear) {
    using namespace peers;
    const auto dropHandshake = Custom([](PeerConnection& c) {
        char hello[512];
        (void)::recv(c.fd(), hello, sizeof hello, 0);
    });
    struct Case {
        const char* name;
        std::vector<Step> attempt;
        std::string reason;
        std::string logged;
    };
    const Case cases[] = {
        {"AUTH TLS refused",
         {Send("220 hi\r\n"), Expect("AUTH TLS"), Send("500 no TLS here\r\n")},
         texts().TlsRefused,
         "TLS refused by server"},
        {"handshake dropped",
         {Send("220 hi\r\n"), Expect("AUTH TLS"), Send("234 go\r\n"), dropHandshake, Close()},
         texts().TlsHandshakeFailed,
         "TLS handshake failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view = HistoryView();
        WriteData({.popAuth = "0"});
        fs::remove(data.path() / "ErrorLog.txt");
        std::vector<Step> steps = c.attempt;
        steps.push_back(AcceptNext());
        steps.insert(steps.end(), c.attempt.begin(), c.attempt.end());
        steps.push_back(Wait(300));
        ScriptedPeer peer(steps);
        ChangeConnection([&](settings::TConnectionSettings& s) {
            s.FtpPort = peer.Port();
            s.FtpSecurity = settings::TSecurity::Explicit;
        });
        StartScreen();
        ChooseFile(10);
        app::SendJob job(*screen);
        for (int attempt = 0; attempt < 2; ++attempt) {
            view.messages.clear();
            view.yesNoAnswers = {true};
            job.StartSend();
            ASSERT_EQ(view.messages.size(), 2u) << attempt;
            EXPECT_EQ(view.messages[1], texts().FtpConnectFailed + "\r\n" + AtHost(c.reason));
            EXPECT_FALSE(screen->State().TransferOk);
            EXPECT_TRUE(view.enabled);
        }
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Transcript(), (Lines{"AUTH TLS", "AUTH TLS"})) << "no USER, no QUIT";
        EXPECT_TRUE(Contains(ErrorLog(), c.logged)) << ErrorLog();
        EXPECT_TRUE(screen->LogList().empty());
    }
}

// The "automatic" name rule against a server that announces UTF8: the stored name's bytes are
// UTF-8, the download address encodes them (also for a resend chosen from the log), and the
// deletion finds the file by the same bytes.
TEST_F(SendWorkflowTest, AutomaticNamesGoAsUtf8AndTheDeletionFindsThem) {
    WriteData({.popAuth = "0"});
    START_SERVERS_OR_SKIP(false);
    ChangeConnection(
        [](settings::TConnectionSettings& s) { s.FtpNames = settings::TNameRule::Automatic; });
    StartScreen();
    ChooseFile(100);
    SetDirectory(S("\\写真"));
    {
        view.yesNoAnswers = {true};
        app::SendJob job(*screen);
        job.StartSend();
        ASSERT_EQ(view.status, texts().StatusSendDone) << view.messages.back();
    }
    const fs::path stored = servers->FtpHome() / "www" / "写真" / localName;  // UTF-8 bytes
    EXPECT_TRUE(fs::exists(stored));
    const std::string address =
        "http://files.example.test/fern/%E5%86%99%E7%9C%9F/%E5%A0%B1%E5%91%8A%20%E6%9B%B8.txt";
    auto mails = ReadMailJson(servers->Maildir());
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(Contains(mails[0], address)) << mails[0];

    // A resend chosen from the log after a restart names the file as the upload stored it.
    ASSERT_TRUE(screen->SaveOnExit());
    view = HistoryView();
    StartScreen();
    ASSERT_TRUE(app::SelectResend(*screen, 1, 1));
    {
        view.yesNoAnswers = {true};
        app::SendJob again(*screen);
        again.StartSend();
    }
    mails = ReadMailJson(servers->Maildir());
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_TRUE(Contains(mails[0], address) && Contains(mails[1], address));

    RecordingDeletionView dv;
    app::Deletion deletion(dv, screen->LogList(), screen->Environment(), screen->Connections(),
                           data.path());
    deletion.FillGrid();
    EXPECT_EQ(deletion.DeleteRemoteData(), app::DeletionOutcome::Deleted) << dv.status;
    EXPECT_FALSE(fs::exists(stored));
}

}  // namespace
}  // namespace apptest
