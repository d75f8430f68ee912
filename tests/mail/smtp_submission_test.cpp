// SMTP submission against scripted servers: EHLO and its fallback, the AUTH exchanges byte for
// byte, refused log-ins, STARTTLS missing or refused, servers that drop the TLS handshake, a
// whole session inside TLS, and the plain HELO session that a client without the new settings
// keeps byte for byte.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "mail/orb_smtp.h"
#include "mail/orb_util.h"
#include "peers/ftp_servers.h"
#include "peers/require_server.h"
#include "peers/scripted_peer.h"
#include "peers/tls_script_peer.h"
#include "platform/net_error.h"
#include "recording_session.h"

namespace {

using namespace peers;
using mail::TMailSecurity;
using mail::TOrbMsg;
using mail::TOrbSMTP;
using mail::TSmtpFailure;
using Lines = std::vector<std::string>;

std::string HostName() {
    char name[257] = {};
    gethostname(name, 256);
    return name;
}

std::string Joined(const Lines& lines) {
    std::string all;
    for (const auto& l : lines) all += l + "\r\n";
    return all;
}

struct Events {
    Lines seen;
    int code = -1;
    std::string text;
    void Attach(TOrbSMTP& smtp) {
        smtp.OnConnect = [this](void*) { seen.push_back("connect"); };
        smtp.OnQuit = [this](void*) { seen.push_back("quit"); };
        smtp.OnError = [this](void*, int c, const std::string& t) {
            seen.push_back("error");
            code = c;
            text = t;
        };
    }
};

void Configure(TOrbSMTP& smtp, int port, TMailSecurity security, bool auth,
               const std::string& user = "taro", const std::string& password = "secret") {
    smtp.Host = "127.0.0.1";
    smtp.Port = std::to_string(port);
    smtp.Security = security;
    smtp.Authenticate = auth;
    smtp.UserId = user;
    smtp.Password = password;
    smtp.IdleLimitMs = 5000;
}

const std::string kPlainLogIn = "AUTH PLAIN AHRhcm8Ac2VjcmV0";  // "\0taro\0secret"

struct SessionCase {
    const char* name;
    TMailSecurity security;
    bool auth;
    std::vector<Step> steps;  // after the greeting
    Lines sent;               // every line the client sends; "EHLO" and "HELO" get the host
    TSmtpFailure failure;
    int error;  // the OnError code; -1: no error
    std::string mechanism;
    std::string user = "taro", password = "secret";
};

// Each case runs Connect and, when it succeeded, Quit; the peer must see exactly `sent`, with
// CR LF after every line and nothing else.
TEST(SmtpSubmission, ExtendedHelloLogInAndRefusals) {
    const std::string ehlo =
        "250-mail.example\r\n250-SIZE 10240000\r\n250-AUTH LOGIN PLAIN\r\n"
        "250 HELP\r\n";
    const std::vector<Step> quit = {Expect("QUIT"), Send("221 bye\r\n")};
    auto with = [](std::vector<Step> a, const std::vector<Step>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<SessionCase> cases = {
        {"PLAIN before LOGIN",
         TMailSecurity::None,
         true,
         with({Expect(), Send(ehlo), Expect(kPlainLogIn), Send("235 2.7.0 ok\r\n")}, quit),
         {"EHLO", kPlainLogIn, "QUIT"},
         TSmtpFailure::None,
         -1,
         "PLAIN"},
        {"multi-line EHLO reply split at every byte",
         TMailSecurity::None,
         true,
         with({Expect(), SendSplit(ehlo, 1, 1), Expect(kPlainLogIn), Send("235 ok\r\n")}, quit),
         {"EHLO", kPlainLogIn, "QUIT"},
         TSmtpFailure::None,
         -1,
         "PLAIN"},
        {"LOGIN only",
         TMailSecurity::None,
         true,
         with({Expect(), Send("250-mail.example\r\n250 AUTH LOGIN\r\n"), Expect("AUTH LOGIN"),
               Send("334 VXNlcm5hbWU6\r\n"), Expect("dGFybw=="), Send("334 UGFzc3dvcmQ6\r\n"),
               Expect("c2VjcmV0"), Send("235 ok\r\n")},
              quit),
         {"EHLO", "AUTH LOGIN", "dGFybw==", "c2VjcmV0", "QUIT"},
         TSmtpFailure::None,
         -1,
         "LOGIN"},
        {"older AUTH= form",
         TMailSecurity::None,
         true,
         with({Expect(), Send("250-mail.example\r\n250 AUTH=LOGIN\r\n"), Expect("AUTH LOGIN"),
               Send("334 VXNlcm5hbWU6\r\n"), Expect(), Send("334 UGFzc3dvcmQ6\r\n"), Expect(),
               Send("235 ok\r\n")},
              quit),
         {"EHLO", "AUTH LOGIN", "dGFybw==", "c2VjcmV0", "QUIT"},
         TSmtpFailure::None,
         -1,
         "LOGIN"},
        // The challenge and answer of the published CRAM-MD5 example.
        {"CRAM-MD5 first when offered",
         TMailSecurity::None,
         true,
         with({Expect(), Send("250-mail.example\r\n250 AUTH LOGIN PLAIN CRAM-MD5\r\n"),
               Expect("AUTH CRAM-MD5"),
               Send("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n"), Expect(),
               Send("235 ok\r\n")},
              quit),
         {"EHLO", "AUTH CRAM-MD5", "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw", "QUIT"},
         TSmtpFailure::None,
         -1,
         "CRAM-MD5",
         "tim",
         "tanstaaftanstaaf"},
        {"535 ends the session",
         TMailSecurity::None,
         true,
         {Expect(), Send(ehlo), Expect(), Send("535 5.7.8 Authentication credentials invalid\r\n")},
         {"EHLO", kPlainLogIn},
         TSmtpFailure::AuthRefused,
         535,
         "PLAIN"},
        {"535 after the user name",
         TMailSecurity::None,
         true,
         {Expect(), Send("250-mail.example\r\n250 AUTH LOGIN\r\n"), Expect(),
          Send("334 VXNlcm5hbWU6\r\n"), Expect(), Send("535 no such user\r\n")},
         {"EHLO", "AUTH LOGIN", "dGFybw=="},
         TSmtpFailure::AuthRefused,
         535,
         "LOGIN"},
        {"no AUTH offered",
         TMailSecurity::None,
         true,
         {Expect(), Send("250-mail.example\r\n250 SIZE 100\r\n")},
         {"EHLO"},
         TSmtpFailure::NoAuth,
         0,
         ""},
        {"EHLO refused while a log-in is needed: no HELO",
         TMailSecurity::None,
         true,
         {Expect(), Send("502 5.5.1 unrecognized command\r\n")},
         {"EHLO"},
         TSmtpFailure::NoAuth,
         502,
         ""},
        {"EHLO refused while STARTTLS is wanted: no HELO",
         TMailSecurity::StartTls,
         false,
         {Expect(), Send("502 unrecognized\r\n")},
         {"EHLO"},
         TSmtpFailure::NoStartTls,
         502,
         ""},
        {"no STARTTLS offered: no AUTH in clear",
         TMailSecurity::StartTls,
         true,
         {Expect(), Send("250-mail.example\r\n250 AUTH PLAIN LOGIN\r\n")},
         {"EHLO"},
         TSmtpFailure::NoStartTls,
         0,
         ""},
        {"STARTTLS refused",
         TMailSecurity::StartTls,
         true,
         {Expect(), Send("250-mail.example\r\n250 STARTTLS\r\n"), Expect("STARTTLS"),
          Send("454 4.7.0 TLS not available\r\n")},
         {"EHLO", "STARTTLS"},
         TSmtpFailure::StartTlsRefused,
         454,
         ""},
        {"EHLO reply without end: unreadable, no failure of its own",
         TMailSecurity::None,
         true,
         {Expect(), Send([] {
              std::string endless;
              for (int i = 0; i < 600; ++i) endless += "250-AUTH PLAIN\r\n";
              return endless;
          }())},
         {"EHLO"},
         TSmtpFailure::None,
         0,
         ""},
        {"server gone after EHLO: no failure of its own",
         TMailSecurity::None,
         true,
         {Expect(), Close()},
         {"EHLO"},
         TSmtpFailure::None,
         421,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Step> steps = {Send("220 mail.example ESMTP\r\n")};
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        ScriptedPeer peer(steps);
        TOrbSMTP smtp;
        Events events;
        events.Attach(smtp);
        Configure(smtp, peer.Port(), c.security, c.auth, c.user, c.password);
        smtp.Connect();
        EXPECT_EQ(smtp.ErrorFlag, c.error >= 0);
        EXPECT_EQ(smtp.Failure, c.failure);
        EXPECT_EQ(events.code, c.error) << events.text;
        EXPECT_EQ(smtp.AuthMechanism, c.mechanism);
        if (!smtp.ErrorFlag) {
            EXPECT_TRUE(smtp.Connected);
            smtp.Quit();
        }
        EXPECT_FALSE(smtp.Connected);
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
        Lines sent = c.sent;
        for (auto& line : sent)
            if (line == "EHLO" || line == "HELO") line += " " + HostName();
        EXPECT_EQ(peer.RawInput(), Joined(sent));
    }
}

TEST(SmtpSubmission, CredentialsWithLineBreaksAreRefusedBeforeConnecting) {
    for (const auto& [user, password] : std::vector<std::pair<std::string, std::string>>{
             {"taro\r\nRSET", "secret"}, {"taro", std::string("se\0cret", 7)}}) {
        TOrbSMTP smtp;
        Configure(smtp, 1, TMailSecurity::None, true, user, password);
        EXPECT_THROW(smtp.Connect(), mail::EMailArgumentError);
        EXPECT_FALSE(smtp.Connected);
    }
}

// Reads what the client sends first (its TLS hello) and hangs up.
Step DropHandshake() {
    return Custom([](PeerConnection& conn) {
        char buf[512];
        ::recv(conn.fd(), buf, sizeof buf, 0);
        ::shutdown(conn.fd(), SHUT_RDWR);
    });
}

TEST(SmtpSubmission, ServerThatClosesInTheHandshakeEndsTheSessionWithTheError) {
    struct Case {
        const char* name;
        TMailSecurity security;
        std::vector<Step> steps;
        Lines sent;
    };
    const std::vector<Case> cases = {
        {"STARTTLS",
         TMailSecurity::StartTls,
         {Send("220 ready\r\n"), Expect(), Send("250-mail.example\r\n250 STARTTLS\r\n"),
          Expect("STARTTLS"), Send("220 go ahead\r\n"), DropHandshake()},
         {"EHLO " + HostName(), "STARTTLS"}},
        {"implicit TLS", TMailSecurity::Implicit, {DropHandshake()}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(c.steps);
        TOrbSMTP smtp;
        Events events;
        events.Attach(smtp);
        Configure(smtp, peer.Port(), c.security, true);
        try {
            smtp.Connect();
            ADD_FAILURE() << "no error";
        } catch (const platform::NetError& e) {
            EXPECT_EQ(e.Code(), platform::NetErrc::TlsHandshakeFailed) << e.what();
        }
        EXPECT_TRUE(smtp.ErrorFlag);
        EXPECT_FALSE(smtp.Connected);
        EXPECT_EQ(events.seen, (Lines{"connect", "quit"}));
        smtp.Quit();  // nothing left to close
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Transcript(), c.sent) << "nothing after the handshake began";
    }
}

// Real TLS with a scripted server: the session goes on inside TLS, plain bytes that followed
// the STARTTLS reply are not taken for the server's words, EHLO refused over implicit TLS falls
// back to HELO, and a certificate for another name is refused unless its fingerprint is trusted.
TEST(SmtpSubmission, SessionsInsideTls) {
    const auto& certs = ftptest::Certificates();
    if (certs.dir.empty()) FERNLAY_SERVER_UNAVAILABLE(certs.error);
    ftptest::TrustTestCa();
    const std::string ehlo = "EHLO " + HostName();
    struct Case {
        const char* name;
        TMailSecurity security;
        bool auth;
        std::vector<TlsStep> steps;
        Lines sent;
    };
    const std::vector<Case> cases = {
        {"STARTTLS, EHLO again, AUTH inside TLS",
         TMailSecurity::StartTls,
         true,
         {TlsSend("220 ready\r\n"), TlsExpect(ehlo),
          TlsSend("250-mail.example\r\n250 STARTTLS\r\n"), TlsExpect("STARTTLS"),
          TlsSend("220 go ahead\r\n250-injected\r\n250 AUTH PLAIN\r\n"), TlsHandshake(),
          TlsExpect(ehlo), TlsSend("250-mail.example\r\n250 AUTH PLAIN LOGIN\r\n"),
          TlsExpect(kPlainLogIn), TlsSend("235 ok\r\n"), TlsExpect("QUIT"), TlsSend("221 bye\r\n")},
         {ehlo, "STARTTLS", ehlo, kPlainLogIn, "QUIT"}},
        {"implicit TLS, EHLO refused, HELO",
         TMailSecurity::Implicit,
         false,
         {TlsHandshake(), TlsSend("220 ready\r\n"), TlsExpect(ehlo), TlsSend("502 what\r\n"),
          TlsExpect("HELO " + HostName()), TlsSend("250 hi\r\n"), TlsExpect("QUIT"),
          TlsSend("221 bye\r\n")},
         {ehlo, "HELO " + HostName(), "QUIT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TlsScriptPeer peer(c.steps);
        ASSERT_NE(peer.Port(), 0) << peer.Problem();
        TOrbSMTP smtp;
        Configure(smtp, peer.Port(), c.security, c.auth);
        smtp.Connect();
        EXPECT_FALSE(smtp.ErrorFlag) << smtp.ReplyLine;
        smtp.Quit();
        EXPECT_FALSE(smtp.ErrorFlag);
        peer.Finish();
        EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
        EXPECT_EQ(peer.Transcript(), c.sent);
    }

    std::string fingerprint;
    {
        TlsScriptPeer peer({TlsHandshake()}, "wrongname");
        ASSERT_NE(peer.Port(), 0) << peer.Problem();
        TOrbSMTP smtp;
        Configure(smtp, peer.Port(), TMailSecurity::Implicit, false);
        try {
            smtp.Connect();
            ADD_FAILURE() << "a certificate for another name was taken";
        } catch (const platform::TlsVerifyError& e) {
            EXPECT_EQ(e.Code(), platform::NetErrc::TlsNameMismatch);
            EXPECT_EQ(e.Host, "127.0.0.1");
            fingerprint = e.Fingerprint;
        }
        EXPECT_FALSE(smtp.Connected);
    }
    TlsScriptPeer peer({TlsHandshake(), TlsSend("220 ready\r\n"), TlsExpect(ehlo),
                        TlsSend("250 mail.example\r\n"), TlsExpect("QUIT"), TlsSend("221 bye\r\n")},
                       "wrongname");
    TOrbSMTP smtp;
    Configure(smtp, peer.Port(), TMailSecurity::Implicit, false);
    smtp.TrustedFingerprint = fingerprint;
    smtp.Connect();
    EXPECT_FALSE(smtp.ErrorFlag) << smtp.ReplyLine;
    smtp.Quit();
    peer.Finish();
    EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
}

// A client with none of the new settings speaks exactly as before: HELO, MAIL FROM, RCPT TO,
// DATA, the rendered lines, the terminator and QUIT, every line ended by CR LF.
TEST(SmtpSubmission, WithoutNewSettingsTheHeloSessionIsByteForByteAsBefore) {
    ScriptedPeer peer({Send("220 mail.example ESMTP\r\n"), Expect(), Send("250 hi\r\n"), Expect(),
                       Send("250 ok\r\n"), Expect(), Send("250 ok\r\n"), Expect("DATA"),
                       Send("354 go\r\n"), ExpectUntil("."), Send("250 queued\r\n"), Expect("QUIT"),
                       Send("221 bye\r\n")});
    TOrbSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = std::to_string(peer.Port());
    smtp.Connect();
    ASSERT_FALSE(smtp.ErrorFlag);
    TOrbMsg m;
    m.From = "Taro <taro@example.jp>";
    m.SendTo = "hanako@example.jp";
    m.Subject = "test";
    m.CharSet = "ISO-2022-JP";
    m.Text = {"line 1", ".dot"};
    TOrbMsg copy = m;
    ASSERT_TRUE(smtp.SendMessage(m));
    smtp.Quit();
    ASSERT_TRUE(peer.WaitDone());
    ASSERT_TRUE(peer.Errors().empty()) << peer.Errors().front();

    mail::RecordingSession session;
    session.host = HostName();
    copy.Date = m.Date;
    auto rendered = mail::RenderMessage(session, copy);
    ASSERT_TRUE(rendered);
    const std::string raw = peer.RawInput();
    // Only the random Message-Id differs: take the client's.
    const std::string idLine = "Message-Id: ";
    const std::size_t id = raw.find(idLine);
    ASSERT_NE(id, std::string::npos);
    (*rendered)[0] = raw.substr(id, raw.find("\r\n", id) - id);
    std::string expected = "HELO " + HostName() +
                           "\r\nMAIL FROM:<taro@example.jp>\r\nRCPT TO:<hanako@example.jp>\r\n"
                           "DATA\r\n";
    for (const auto& line : *rendered) expected += line + "\r\n";
    expected += "\r\n.\r\nQUIT\r\n";
    EXPECT_EQ(raw, expected);
}

}  // namespace
