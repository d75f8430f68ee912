// FTP over TLS: uploads and deletions against vsftpd requiring TLS (explicit, in both data
// modes, and implicit), names as UTF-8 with pyftpdlib, and the failures that must end a session
// before anything goes out in clear, against scripted peers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ftp/ftp_client.h"
#include "peers/ftp_servers.h"
#include "peers/require_server.h"
#include "peers/scripted_peer.h"
#include "platform/net_error.h"

namespace {

namespace fs = std::filesystem;
using ftp::TFtpClient;
using ftp::TFtpSecurity;
using ftptest::Kind;
using platform::NetErrc;

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

fs::path LocalFile(const std::string& name, const std::string& content) {
    const fs::path dir = fs::temp_directory_path() / "fernlay_ftps_local";
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << content;
    return dir / name;
}

void Configure(TFtpClient& c, const ftptest::FtpServer& s, TFtpSecurity security) {
    c.Host = "127.0.0.1";
    c.Port = s.port;
    c.UserID = s.user;
    c.Password = s.password;
    c.TimeOut = 20000;
    c.Security = security;
}

NetErrc NetCodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const platform::NetError& e) {
        return e.Code();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not a connection error: " << e.what();
    }
    return NetErrc{};
}

struct TlsCase {
    Kind kind;
    TFtpSecurity security;
    bool passive;
};

class FtpsServer : public ::testing::TestWithParam<TlsCase> {};

// The whole sequence of a send and a deletion: log-in over TLS, CWD/MKD, TYPE I, an upload
// whose data connection is TLS too, then DELE; and the same server refuses a plain log-in.
TEST_P(FtpsServer, UploadAndDeleteOverTls) {
    const auto& certs = ftptest::Certificates();
    if (certs.dir.empty()) FERNLAY_SERVER_UNAVAILABLE(certs.error);
    ftptest::TrustTestCa();
    auto server = ftptest::StartFtpServer(GetParam().kind);
    if (!server->error.empty()) FERNLAY_SERVER_UNAVAILABLE(server->error);

    std::string content;
    for (int i = 0; i < 3 << 20; ++i) content += static_cast<char>(i * 31 + i / 251);
    const fs::path local = LocalFile("tls.bin", content);
    TFtpClient c;
    Configure(c, *server, GetParam().security);
    c.Passive = GetParam().passive;
    bool stored = false;
    c.OnConnect = [&](ftp::TSockSession*) {
        EXPECT_TRUE(c.TlsActive());
        c.OnFailure = [](ftp::TSockSession*, bool& handled, ftp::TCmdType) { handled = true; };
        c.ChangeDir("up");
        if (c.ReplyNumber() >= 400) {
            c.MakeDir("up");
            c.ChangeDir("up");
        }
        c.OnFailure = nullptr;
        c.Mode(ftp::TransferImage);
        stored = c.Upload(local.string(), "");
    };
    c.Connect();
    EXPECT_TRUE(stored);
    c.Disconnect();
    EXPECT_EQ(ReadAll(server->root / "up" / "tls.bin"), content);

    TFtpClient del;
    Configure(del, *server, GetParam().security);
    del.Connect();
    del.ChangeDir("up");
    del.Delete("tls.bin");
    del.Disconnect();
    EXPECT_FALSE(fs::exists(server->root / "up" / "tls.bin"));

    if (GetParam().security == TFtpSecurity::Explicit) {
        // The same server takes no log-in in clear.
        TFtpClient plain;
        Configure(plain, *server, TFtpSecurity::None);
        EXPECT_THROW(plain.Connect(), ftp::FTPException);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FtpsServer,
    ::testing::Values(TlsCase{Kind::VsftpdExplicitTls, TFtpSecurity::Explicit, false},
                      TlsCase{Kind::VsftpdExplicitTls, TFtpSecurity::Explicit, true},
                      TlsCase{Kind::VsftpdImplicitTls, TFtpSecurity::Implicit, true}));

// A certificate for another name, and the same certificate trusted by its fingerprint.
TEST(FtpsCertificates, WrongNameIsRefusedUnlessTrusted) {
    const auto& certs = ftptest::Certificates();
    if (certs.dir.empty()) FERNLAY_SERVER_UNAVAILABLE(certs.error);
    ftptest::TrustTestCa();
    auto server = ftptest::StartFtpServer(Kind::VsftpdExplicitTls, 0, "wrongname");
    if (!server->error.empty()) FERNLAY_SERVER_UNAVAILABLE(server->error);
    TFtpClient c;
    Configure(c, *server, TFtpSecurity::Explicit);
    int failed = 0;
    c.OnConnectionFailed = [&](ftp::TSockSession*) { ++failed; };
    std::string fingerprint;
    try {
        c.Connect();
        ADD_FAILURE() << "a certificate for another name was accepted";
    } catch (const platform::TlsVerifyError& e) {
        EXPECT_EQ(e.Code(), NetErrc::TlsNameMismatch);
        EXPECT_EQ(e.Host, "127.0.0.1");
        fingerprint = e.Fingerprint;
    }
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(c.Connected());
    // The user trusted it: the same client object connects.
    c.TrustedFingerprint = fingerprint;
    c.Connect();
    EXPECT_TRUE(c.Connected());
    c.Disconnect();
}

// pyftpdlib announces UTF8: with the automatic rule the stored name's bytes are UTF-8 and the
// deletion finds it; with the Shift_JIS rule they stay Shift_JIS (against a server that keeps
// them so).
TEST(FtpNames, AutomaticRuleSendsUtf8WhenAnnounced) {
    const std::string sjisName = "\x95\xF1\x8D\x90.txt";  // 報告.txt
    const std::string utf8Name = "\xE5\xA0\xB1\xE5\x91\x8A.txt";
    const fs::path local = LocalFile("names.txt", "names");
    for (bool automatic : {true, false}) {
        SCOPED_TRACE(automatic);
        auto server = ftptest::StartFtpServer(automatic ? Kind::PyftpdlibUtf8 : Kind::Pyftpdlib);
        if (!server->error.empty()) FERNLAY_SERVER_UNAVAILABLE(server->error);
        TFtpClient c;
        Configure(c, *server, TFtpSecurity::None);
        c.AutoUtf8 = automatic;
        c.Connect();
        EXPECT_EQ(c.Utf8Names(), automatic);
        c.Mode(ftp::TransferImage);
        EXPECT_TRUE(c.Upload(local.string(), sjisName));
        // The Shift_JIS server decodes what it gets as Shift_JIS and the other as UTF-8; both
        // store the name in UTF-8, so the name on disk is right only when the bytes were.
        const fs::path stored = server->root / fs::path(utf8Name);
        EXPECT_TRUE(fs::exists(stored));
        c.Delete(sjisName);
        EXPECT_FALSE(fs::exists(stored));
        c.Disconnect();
    }
}

// Refusals of TLS and a handshake cut short: a clear error, nothing after the greeting and
// AUTH TLS in clear, and the same client can connect again afterwards.
TEST(FtpsRefusals, NothingGoesOutInClear) {
    using namespace peers;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        NetErrc expected;
    };
    const std::vector<Case> cases = {
        {"AUTH TLS refused",
         {Send("220 hi\r\n"), Expect("AUTH TLS"), Send("500 no TLS here\r\n"), Wait(300)},
         NetErrc::TlsRefused},
        {"closed in the handshake",
         {Send("220 hi\r\n"), Expect("AUTH TLS"), Send("234 go\r\n"), Custom([](PeerConnection& c) {
              char hello[512];
              (void)::recv(c.fd(), hello, sizeof hello, 0);
          }),
          Close()},
         NetErrc::TlsHandshakeFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(c.steps);
        TFtpClient ftp;
        ftp.Host = "127.0.0.1";
        ftp.Port = peer.Port();
        ftp.UserID = "u";
        ftp.Password = "secret";
        ftp.TimeOut = 5000;
        ftp.Security = TFtpSecurity::Explicit;
        EXPECT_EQ(NetCodeOf([&] { ftp.Connect(); }), c.expected);
        EXPECT_FALSE(ftp.Connected());
        ASSERT_TRUE(peer.WaitDone());
        // The transcript holds AUTH TLS and nothing after it: no USER, no QUIT.
        EXPECT_EQ(peer.Transcript(), std::vector<std::string>{"AUTH TLS"});

        ScriptedPeer again({Send("220 hi\r\n"), Expect("USER u"), Send("230 in\r\n"),
                            Expect("QUIT"), Send("221 bye\r\n")});
        ftp.Security = TFtpSecurity::None;
        ftp.Port = again.Port();
        ftp.Connect();
        ftp.Disconnect();
        ASSERT_TRUE(again.WaitDone());
        EXPECT_EQ(again.Errors(), std::vector<std::string>{});
    }
}

}  // namespace
