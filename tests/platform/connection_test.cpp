// The connection layer against scripted peers and a TLS peer on 127.0.0.1: whole replies read
// whole and byte by byte, deadlines that end hostile servers, the line cap, TLS verification.
#include "platform/connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "peers/ftp_servers.h"
#include "peers/require_server.h"
#include "peers/scripted_peer.h"
#include "platform/reply_reader.h"

namespace platform {
namespace {

using namespace std::chrono_literals;
using peers::ScriptedPeer;
using Clock = std::chrono::steady_clock;

NetErrc CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const NetError& e) {
        return e.Code();
    }
    return NetErrc{};
}

struct ReplyCase {
    const char* bytes;
    ReplyStyle style;
    std::vector<int> codes;          // one per reply in the bytes
    std::vector<std::size_t> lines;  // line count of each reply
};

// Every case read as the bytes arrive whole, line by line, and split into single bytes.
TEST(ReplyReader, TableWholeLineByLineAndByteByByte) {
    const std::vector<ReplyCase> cases = {
        {"220 ready\r\n", ReplyStyle::Coded, {220}, {1}},
        {"220\r\n", ReplyStyle::Coded, {220}, {1}},
        {"250 ok\n", ReplyStyle::Coded, {250}, {1}},  // LF only
        {"220-a\r\n220-b\r\n220 c\r\n", ReplyStyle::Coded, {220}, {3}},
        // Plain middle lines, and lines that begin with another code or with the same code
        // and a hyphen, do not end a reply.
        {"211-x\r\n plain\r\n250 other\r\n211-more\r\n211 end\r\n", ReplyStyle::Coded, {211}, {5}},
        {"331 user ok\r\n230 in\r\n", ReplyStyle::Coded, {331, 230}, {1, 1}},
        {"abc\r\n220 later\r\n", ReplyStyle::Coded, {0, 220}, {1, 1}},  // not a reply
        {"2x0 odd\r\n", ReplyStyle::Coded, {0}, {1}},
        {"+OK hi\r\n-ERR no\r\n+OK\r\n", ReplyStyle::Status, {1, 0, 1}, {1, 1, 1}},
    };
    enum Feed { Whole, Lines, Bytes };
    for (Feed feed : {Whole, Lines, Bytes}) {
        for (const ReplyCase& c : cases) {
            SCOPED_TRACE(std::string(c.bytes) + " feed " + std::to_string(feed));
            std::vector<peers::Step> steps;
            if (feed == Whole) steps.push_back(peers::Send(c.bytes));
            if (feed == Bytes) steps.push_back(peers::SendSplit(c.bytes, 1, 1));
            if (feed == Lines) {
                const std::string all = c.bytes;
                for (std::size_t at = 0; at < all.size();) {
                    const std::size_t end = all.find('\n', at) + 1;
                    steps.push_back(peers::Send(all.substr(at, end - at), 20));
                    at = end;
                }
            }
            ScriptedPeer peer(steps);
            Connection conn;
            conn.Connect("127.0.0.1", peer.Port(), Wait::For(5s));
            for (std::size_t i = 0; i < c.codes.size(); ++i) {
                const Reply r = ReadReply(conn, c.style, Wait::For(5s));
                EXPECT_EQ(r.code, c.codes[i]);
                EXPECT_EQ(r.lines.size(), c.lines[i]);
            }
            EXPECT_TRUE(peer.WaitDone());
        }
    }
}

// Servers that would hold the client: each wait ends at its deadline with its own code, and
// the connection object can connect again afterwards.
TEST(Connection, HostileServersEndAtTheirDeadline) {
    // "220-" every 300 ms: the whole reply has a deadline, not each line.
    {
        std::vector<peers::Step> drip;
        for (int i = 0; i < 8; ++i) drip.push_back(peers::Send("220-still there\r\n", 300));
        ScriptedPeer peer(drip);
        Connection conn;
        conn.Connect("127.0.0.1", peer.Port(), Wait::For(5s));
        const auto start = Clock::now();
        EXPECT_EQ(CodeOf([&] { ReadReply(conn, ReplyStyle::Coded, Wait::For(1s)); }),
                  NetErrc::ReplyTimedOut);
        EXPECT_LT(Clock::now() - start, 2s);
        conn.Abort();
    }
    // A line without an end: an error at the cap, not memory growth.
    {
        ScriptedPeer peer({peers::Send(std::string(2 << 20, 'x')), peers::Wait(200)});
        Connection conn;
        conn.Connect("127.0.0.1", peer.Port(), Wait::For(5s));
        EXPECT_EQ(CodeOf([&] { ReadReply(conn, ReplyStyle::Coded, Wait::For(5s)); }),
                  NetErrc::LineTooLong);
        conn.Abort();
    }
    // A server that stops reading: the send ends at its deadline.
    {
        ScriptedPeer peer({peers::Silent(1500)});
        Connection conn;
        conn.Connect("127.0.0.1", peer.Port(), Wait::For(5s));
        const std::string big(64 << 20, 'y');
        const auto start = Clock::now();
        EXPECT_EQ(CodeOf([&] { conn.Send(big, Wait::For(500ms)); }), NetErrc::SendTimedOut);
        EXPECT_LT(Clock::now() - start, 2s);
        conn.Abort();
    }
    // A listener whose accept queue is full takes no new connection.
    {
        const int l = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(::listen(l, 0), 0);
        socklen_t len = sizeof a;
        ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
        std::vector<int> fillers;
        for (int i = 0; i < 4; ++i) {
            const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
            fillers.push_back(f);
        }
        std::this_thread::sleep_for(100ms);
        Connection conn;
        const auto start = Clock::now();
        EXPECT_EQ(CodeOf([&] { conn.Connect("127.0.0.1", ntohs(a.sin_port), Wait::For(700ms)); }),
                  NetErrc::ConnectTimedOut);
        EXPECT_LT(Clock::now() - start, 2s);
        for (int f : fillers) ::close(f);
        ::close(l);
    }
    // A lookup that never answers.
    EXPECT_EQ(CodeOf([] {
                  Resolve("never.example", 21, Wait::For(300ms),
                          [](const std::string&, std::vector<Endpoint>&) {
                              std::this_thread::sleep_for(2s);
                              return -2;
                          });
              }),
              NetErrc::LookupTimedOut);
    // Nobody listens: refused at once.
    EXPECT_EQ(CodeOf([] {
                  Connection c;
                  c.Connect("127.0.0.1", ftptest::FreePort(), Wait::For(2s));
              }),
              NetErrc::ConnectFailed);
}

TEST(Connection, StopCheckEndsAWaitAndTheEndOfStreamIsSeen) {
    ScriptedPeer peer({peers::Silent(1500), peers::Send("late\r\n"), peers::Close()});
    Connection conn;
    conn.Connect("127.0.0.1", peer.Port(), Wait::For(5s));
    int asked = 0;
    std::string line;
    EXPECT_EQ(CodeOf([&] { conn.ReadLine(line, Wait::For(5s, [&] { return ++asked > 5; })); }),
              NetErrc::Canceled);
    ASSERT_TRUE(conn.ReadLine(line, Wait::For(5s)));
    EXPECT_EQ(line, "late\r\n");
    EXPECT_FALSE(conn.ReadLine(line, Wait::For(5s)));
    EXPECT_TRUE(conn.AtEnd());
    EXPECT_EQ(CodeOf([&] { ReadReply(conn, ReplyStyle::Coded, Wait::For(1s)); }), NetErrc::Closed);
}

TEST(Connection, SendFileSendsEveryByteFromThePosition) {
    char name[] = "/tmp/fernlay-sendfile-XXXXXX";
    const int file = ::mkstemp(name);
    ASSERT_GE(file, 0);
    std::string content;
    for (int i = 0; i < 300000; ++i) content += static_cast<char>(i * 7);
    ASSERT_EQ(::write(file, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::lseek(file, 0, SEEK_SET);
    std::string got;
    ScriptedPeer peer({peers::Custom([&](peers::PeerConnection& c) {
        char buf[65536];
        ssize_t n;
        while ((n = ::recv(c.fd(), buf, sizeof buf, 0)) > 0) got.append(buf, n);
    })});
    Connection conn;
    conn.Connect("127.0.0.1", peer.Port(), Wait::For(5s));
    std::int64_t last = 0;
    EXPECT_EQ(conn.SendFile(file, static_cast<std::int64_t>(content.size()), 5s, {},
                            [&](std::int64_t n) { last = n; }),
              static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(last, static_cast<std::int64_t>(content.size()));
    conn.Close();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(got, content);
    ::close(file);
    ::unlink(name);
}

TEST(SplitHostPort, Table) {
    struct Case {
        std::string text;
        bool ok;
        std::string host;
        int port;
    };
    const std::vector<Case> cases = {
        {"ftp.example", true, "ftp.example", 21},
        {"ftp.example:2121", true, "ftp.example", 2121},
        {"[2001:db8::1]:990", true, "2001:db8::1", 990},
        {"[::1]", true, "::1", 21},
        {"2001:db8::1", true, "2001:db8::1", 21},
        {"127.0.0.1:0", false, "", 0},
        {"h:70000", false, "", 0},
        {"h:2x", false, "", 0},
        {"[::1]x", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string host;
        int port = 21;
        ASSERT_EQ(SplitHostPort(c.text, host, port), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    }
}

// A TLS peer with each of the test certificates: only the good one passes, each failure names
// its reason, and a trusted fingerprint admits exactly that certificate.
TEST(Connection, TlsVerifiesCertificatesAndPins) {
    const auto& certs = ftptest::Certificates();
    if (certs.dir.empty()) FERNLAY_SERVER_UNAVAILABLE(certs.error);
    ftptest::TrustTestCa();
    struct Case {
        const char* cert;
        std::string host;
        NetErrc expected;
    };
    const std::vector<Case> cases = {
        {"server", "127.0.0.1", NetErrc{}},
        {"server", "localhost", NetErrc{}},
        {"wrongname", "127.0.0.1", NetErrc::TlsNameMismatch},
        {"expired", "127.0.0.1", NetErrc::TlsExpired},
        {"selfsigned", "127.0.0.1", NetErrc::TlsUnknownIssuer},
    };
    std::string selfSignedFingerprint;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cert);
        const int port = ftptest::FreePort();
        ftptest::ServerProcess server;
        ASSERT_TRUE(server.Start(
            {"/usr/bin/python3", std::string(FERNLAY_SOURCE_DIR) + "/tests/servers/tls_peer.py",
             std::to_string(port), certs.Pem(c.cert).string(), certs.Key(c.cert).string()},
            certs.dir / (std::string(c.cert) + ".log")));
        ASSERT_TRUE(ftptest::WaitForPort(port, 8000));
        Connection conn;
        conn.Connect("127.0.0.1", port, Wait::For(5s));
        NetErrc got{};
        try {
            conn.StartTls({c.host, ""}, Wait::For(5s));
        } catch (const TlsVerifyError& e) {
            got = e.Code();
            EXPECT_EQ(e.Host, c.host);
            EXPECT_EQ(e.Fingerprint.size(), 95u);  // 32 bytes as "AB:" groups
            if (std::string(c.cert) == "selfsigned") selfSignedFingerprint = e.Fingerprint;
        }
        EXPECT_EQ(got, c.expected);
        if (got != NetErrc{}) {
            EXPECT_FALSE(conn.IsOpen()) << "nothing may follow a failed verification";
            continue;
        }
        std::string line;
        ASSERT_TRUE(conn.ReadLine(line, Wait::For(5s)));
        EXPECT_EQ(line, "220 hello\r\n");
        conn.Send("NOOP\r\n", Wait::For(5s));
        ASSERT_TRUE(conn.ReadLine(line, Wait::For(5s)));
        EXPECT_EQ(line, "250 NOOP\r\n");
        conn.Close();
    }

    // The self-signed certificate, trusted by its fingerprint; another one is refused.
    ASSERT_FALSE(selfSignedFingerprint.empty());
    for (const char* cert : {"selfsigned", "wrongname"}) {
        SCOPED_TRACE(cert);
        const int port = ftptest::FreePort();
        ftptest::ServerProcess server;
        ASSERT_TRUE(server.Start(
            {"/usr/bin/python3", std::string(FERNLAY_SOURCE_DIR) + "/tests/servers/tls_peer.py",
             std::to_string(port), certs.Pem(cert).string(), certs.Key(cert).string()},
            certs.dir / "pin.log"));
        ASSERT_TRUE(ftptest::WaitForPort(port, 8000));
        Connection conn;
        conn.Connect("127.0.0.1", port, Wait::For(5s));
        const NetErrc got = CodeOf([&] {
            conn.StartTls({"127.0.0.1", selfSignedFingerprint}, Wait::For(5s));
        });
        EXPECT_EQ(got,
                  std::string(cert) == "selfsigned" ? NetErrc{} : NetErrc::TlsCertificateChanged);
    }
}

// A server that accepts the connection and closes during the handshake.
TEST(Connection, HandshakeCutShortIsAnError) {
    ScriptedPeer peer({peers::Custom([](peers::PeerConnection& c) {
                           char hello[512];
                           (void)::recv(c.fd(), hello, sizeof hello, 0);
                       }),
                       peers::Close()});
    Connection conn;
    conn.Connect("127.0.0.1", peer.Port(), Wait::For(5s));
    EXPECT_EQ(CodeOf([&] {
                  conn.StartTls({"127.0.0.1", ""}, Wait::For(5s));
              }),
              NetErrc::TlsHandshakeFailed);
    EXPECT_FALSE(conn.IsOpen());
}

}  // namespace
}  // namespace platform
