#include "ftp/sock_session.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "peers/scripted_peer.h"
#include "platform/sock_error.h"

namespace {

using namespace peers;
using ftp::EAbortError;
using ftp::ESockError;
using ftp::TSockSession;

void Connect(TSockSession& s, const ScriptedPeer& peer) {
    s.Host = "127.0.0.1";
    s.Port = peer.Port();
    s.Connect();
}

template <class E>
std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(no exception)";
}

// A port on 127.0.0.1 where nobody listens.
int ClosedPort() {
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

double ThreadCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

TEST(SockErrorTable, MessagesAndPosixMapping) {
    EXPECT_EQ(platform::SockErrorMessage(10061), "10061:Connection refused");
    EXPECT_EQ(platform::SockErrorMessage(11004),
              "11004:Valid name, no data record of requested type");
    EXPECT_EQ(platform::SockErrorMessage(10100), "Unknown Error No. 10100");
    EXPECT_EQ(platform::SockErrorMessage(0), "");
    struct {
        int err, number;
    } cases[] = {{ECONNREFUSED, 10061}, {ECONNRESET, 10054}, {EAGAIN, 10035},
                 {EINPROGRESS, 10036},  {ENOTCONN, 10057},   {ETIMEDOUT, 10060},
                 {EADDRINUSE, 10048},   {EPIPE, 10058},      {0, 0}};
    for (auto c : cases) EXPECT_EQ(platform::SockErrorFromErrno(c.err), c.number) << c.err;
    // A value without a row stays reportable (above 10000) and unknown.
    int other = platform::SockErrorFromErrno(ENOENT);
    EXPECT_GT(other, 10000);
    EXPECT_EQ(platform::SockErrorMessage(other).rfind("Unknown Error No. ", 0), 0u);
}

TEST(SockSession, ReadLnTakesExactlyOneLineWhateverTheWritesLookLike) {
    struct Case {
        const char* name;
        Step send;
        std::vector<std::string> lines;
    } cases[] = {
        {"one write", Send("220 ok\r\n331 next\r\n"), {"220 ok\r\n", "331 next\r\n"}},
        {"split", SendSplit("220 ok\r\n331 next\r\n", 3), {"220 ok\r\n", "331 next\r\n"}},
        {"LF only", SendLf("220 ok\r\n331 next\r\n"), {"220 ok\n", "331 next\n"}},
    };
    for (auto& c : cases) {
        ScriptedPeer peer({c.send, Wait(300)});
        TSockSession s;
        Connect(s, peer);
        EXPECT_EQ(s.ReadLn(), c.lines[0]) << c.name;
        // The second line is still in the socket: a raw read sees it whole.
        std::string rest = s.Read(static_cast<std::uint16_t>(c.lines[1].size()));
        EXPECT_EQ(rest, c.lines[1]) << c.name;
    }
}

TEST(SockSession, ReadLnGivesEmptyWhenPeerClosesMidLineAndThenSessionCloses) {
    ScriptedPeer peer({Send("22"), Close(), AcceptNext(), Send("220 again\r\n"), Wait(200)});
    TSockSession s;
    int disconnects = 0;
    s.OnDisconnect = [&](TSockSession*) { ++disconnects; };
    Connect(s, peer);
    EXPECT_EQ(s.ReadLn(), "");
    for (int i = 0; i < 200 && s.Connected(); ++i) {
        platform::EventPump::Instance().RunOnePass();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(s.Connected());
    EXPECT_EQ(disconnects, 1);
    // The same session connects again on its fresh socket.
    s.Connect();
    EXPECT_EQ(s.ReadLn(), "220 again\r\n");
}

TEST(SockSession, LineLongerThanTheBufferFailsTheRead) {
    std::string huge(TSockSession::kBufferSize + 10, 'x');
    ScriptedPeer peer({Send(huge + "\r\n"), Wait(500)});
    TSockSession s;
    Connect(s, peer);
    EXPECT_THROW(s.ReadLn(), ESockError);
}

TEST(SockSession, TransactionReplyNumbers) {
    struct Case {
        std::string reply;
        int number;
    } cases[] = {{"230 Logged in\r\n", 230}, {"hello\r\n", 0}, {"32767 max\r\n", 32767}};
    std::vector<Step> steps;
    for (auto& c : cases) {
        steps.push_back(Expect("CMD"));
        steps.push_back(Send(c.reply));
    }
    steps.push_back(Expect("CMD"));
    steps.push_back(Send("99999 too big\r\n"));
    ScriptedPeer peer(steps);
    TSockSession s;
    Connect(s, peer);
    for (auto& c : cases) {
        EXPECT_EQ(s.Transaction("CMD"), c.reply);
        EXPECT_EQ(s.TransactionReply(), c.reply);
        EXPECT_EQ(s.ReplyNumber(), c.number) << c.reply;
    }
    EXPECT_THROW(s.Transaction("CMD"), platform::Error);
}

TEST(SockSession, WriteStopsAtEmbeddedNul) {
    ScriptedPeer peer({Expect()});
    TSockSession s;
    Connect(s, peer);
    s.Write(std::string("AB\0CD\r\n", 7) + "\r\n");
    s.Writeln("");  // the line end that the NUL cut off
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Transcript(), std::vector<std::string>{"AB"});
}

TEST(SockSession, StatusTextsObeyReportLevel) {
    ScriptedPeer peer({Expect("X"), Send("200 fine\r\n")});
    for (int level : {0, 1, 4, 8}) {
        TSockSession s;
        std::vector<std::string> seen;
        s.ReportLevel = level;
        s.OnStatus = [&](TSockSession*, const std::string& t) { seen.push_back(t); };
        if (level == 8) {
            Connect(s, peer);
            s.Transaction("X");
            EXPECT_NE(std::find(seen.begin(), seen.end(), "Connecting"), seen.end());
            EXPECT_NE(std::find(seen.begin(), seen.end(), "200 fine\r\n"), seen.end());
        }
        s.Cancel();       // level 8
        s.CloseSocket();  // level 4
        bool has8 = std::find(seen.begin(), seen.end(), "Canceling") != seen.end();
        bool has4 = std::find(seen.begin(), seen.end(), "Request Close Socket") != seen.end();
        EXPECT_EQ(has8, level >= 8) << level;
        EXPECT_EQ(has4, level >= 4) << level;
        EXPECT_EQ(s.Status(), "Request Close Socket");  // stored even when not published
        if (level == 0) {
            EXPECT_TRUE(seen.empty());
        }
    }
}

TEST(SockSession, RefusedConnectFiresConnectionFailedAndSessionStaysUsable) {
    TSockSession s;
    int failed = 0;
    s.OnConnectionFailed = [&](TSockSession*) { ++failed; };
    s.Host = "127.0.0.1";
    s.Port = ClosedPort();
    EXPECT_EQ(MessageOf<ESockError>([&] { s.Connect(); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(s.LastErrorNo(), 10061);
    ScriptedPeer peer({Send("hi\r\n")});
    Connect(s, peer);
    EXPECT_EQ(s.ReadLn(), "hi\r\n");
    EXPECT_EQ(MessageOf<ESockError>([&] { s.Connect(); }), "Already connected");
}

TEST(SockSession, HostLookupPaths) {
    ScriptedPeer peer({Wait(50), AcceptNext(), Wait(50), AcceptNext(), Wait(50)});
    std::vector<std::string> asked;
    auto fake = [&asked](const std::string& name, std::uint32_t& a) {
        asked.push_back(name);  // the waiting thread sees this only after the result is posted
        if (name == "good.test" || name == "255.255.255.255") {
            a = 0x7F000001;
            return 0;
        }
        return EAI_NONAME;
    };
    TSockSession s;
    s.Resolver = fake;
    s.Port = peer.Port();
    int resolved = 0;
    s.OnHostResolved = [&](TSockSession*) { ++resolved; };

    // A dotted address needs no lookup.
    s.Host = "127.0.0.1";
    s.Connect();
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(resolved, 0);
    s.Disconnect();

    // 255.255.255.255 is no address: it goes to the lookup.
    s.Host = "255.255.255.255";
    s.Connect();
    EXPECT_EQ(asked, std::vector<std::string>{"255.255.255.255"});
    EXPECT_EQ(resolved, 1);
    s.Disconnect();

    // Unknown name: the handler gets exactly one retry, here after correcting Host.
    int offered = 0;
    s.OnInvalidHost = [&](TSockSession* sender, bool& handled) {
        ++offered;
        sender->Host = "good.test";
        handled = true;
    };
    s.Host = "bad.test";
    s.Connect();
    EXPECT_EQ(offered, 1);
    EXPECT_TRUE(s.Connected());
    s.Disconnect();

    s.OnInvalidHost = [&](TSockSession*, bool& handled) {
        ++offered;
        handled = true;  // claims to have fixed it but did not
    };
    s.Host = "bad.test";
    EXPECT_EQ(MessageOf<ESockError>([&] { s.Connect(); }), "Null Remote Address");
    EXPECT_EQ(offered, 2);  // one more offer, one retry, then the failure
}

TEST(SockSession, UnknownHostWithoutHandlerIsNullRemoteAddress) {
    TSockSession s;
    s.Resolver = [](const std::string&, std::uint32_t&) { return EAI_NONAME; };
    s.Host = "nowhere.test";
    s.Port = 21;
    EXPECT_EQ(MessageOf<ESockError>([&] { s.Connect(); }), "Null Remote Address");
}

TEST(SockSession, SlowLookupEndsOnTimeOutOrCancel) {
    auto slow = [](const std::string&, std::uint32_t& a) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        a = 0x7F000001;
        return 0;
    };
    {
        TSockSession s;
        s.Resolver = slow;
        s.Host = "slow.test";
        s.Port = 21;
        s.TimeOut = 100;
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(MessageOf<ESockError>([&] { s.Connect(); }), "Host Lookup Timed Out");
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    }
    {
        TSockSession s;
        s.Resolver = slow;
        s.Host = "slow.test";
        s.Port = 21;
        auto id = platform::EventPump::Instance().AddTimer(100, [&] { s.Cancel(); });
        EXPECT_EQ(MessageOf<ESockError>([&] { s.Connect(); }), "Host Lookup Canceled");
        platform::EventPump::Instance().CancelTimer(id);
    }
}

TEST(SockSession, ConnectTimesOutWhenNobodyAnswers) {
    // A listener whose one-place queue is full drops further connection attempts.
    int l = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(l, 0);
    socklen_t len = sizeof a;
    ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(f);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    TSockSession s;
    int failed = 0;
    s.OnConnectionFailed = [&](TSockSession*) { ++failed; };
    s.Host = "127.0.0.1";
    s.Port = ntohs(a.sin_port);
    s.TimeOut = 300;
    EXPECT_EQ(MessageOf<ESockError>([&] { s.Connect(); }), "Connection Timed out");
    EXPECT_EQ(failed, 1);
    for (int f : fillers) ::close(f);
    ::close(l);
}

TEST(SockSession, SilentPeerEndsReadLnOnTimeOut) {
    ScriptedPeer peer({Silent(800)});
    TSockSession s;
    s.TimeOut = 150;
    Connect(s, peer);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf<EAbortError>([&] { s.ReadLn(); }), "Socket readln aborted");
    EXPECT_TRUE(s.TimedOut());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(700));
}

// Writes dir/big.bin of `mib` MiB and returns its path.
std::string BigFile(const std::filesystem::path& dir, int mib) {
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "big.bin").string();
    std::ofstream f(path, std::ios::binary);
    const std::string chunk(1 << 20, 'z');
    for (int i = 0; i < mib; ++i) f << chunk;
    return path;
}

// The peer goes away in the middle of a file: the send fails with an error the caller can
// handle, and the process is not ended by SIGPIPE.
TEST(SockSession, SendFileToAPeerThatClosesFailsWithoutEndingTheProcess) {
    const auto dir = std::filesystem::temp_directory_path() / "fernlay_sendfile_closed";
    const std::string path = BigFile(dir, 32);
    ScriptedPeer peer({Close()});
    TSockSession s;
    Connect(s, peer);
    ASSERT_TRUE(peer.WaitDone());
    const std::string message = MessageOf<ESockError>([&] { s.SendFile(path); });
    EXPECT_NE(message, "(no exception)");
    EXPECT_LT(s.BytesSent(), 32 << 20);
    std::filesystem::remove_all(dir);
}

// A peer that reads nothing: sends block once the socket buffers are full. The wait must
// sleep in poll (little CPU) and still end when a timer handler cancels.
TEST(SockSession, BlockedSendsWaitWithoutSpinningAndCancelEndsThem) {
    const auto dir = std::filesystem::temp_directory_path() / "fernlay_sendfile_block";
    const std::string path = BigFile(dir, 64);
    for (bool use_file : {true, false}) {
        ScriptedPeer peer({Silent(900)});
        TSockSession s;
        Connect(s, peer);
        int small = 4096;
        ::setsockopt(s.SocketHandle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        auto& pump = platform::EventPump::Instance();
        auto id = pump.AddTimer(300, [&] { s.Cancel(); });
        double cpu0 = ThreadCpuMs();
        std::string message = MessageOf<EAbortError>([&] {
            if (use_file) {
                s.SendFile(path);
            } else {
                std::string block(60000, 'y');
                for (int i = 0; i < 10000; ++i) s.SendBuffer(block.data(), block.size());
            }
        });
        double cpu = ThreadCpuMs() - cpu0;
        pump.CancelTimer(id);
        EXPECT_EQ(message, "Socket send aborted") << use_file;
        EXPECT_LT(cpu, 200.0) << "CPU ms spent waiting, use_file=" << use_file;
        EXPECT_FALSE(s.CancelRequested());
        if (use_file) {
            EXPECT_GT(s.BytesSent(), 0);
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(SockSession, CheckConnectionGivesTheHandlerOneChance) {
    ScriptedPeer peer({Wait(200)});
    TSockSession s;
    EXPECT_EQ(MessageOf<platform::Error>([&] { s.CheckConnection(); }), "Not Connected");
    int calls = 0;
    s.OnConnectionRequired = [&](TSockSession*, bool& handled) {
        ++calls;
        handled = true;  // says so without connecting
    };
    EXPECT_EQ(MessageOf<platform::Error>([&] { s.CheckConnection(); }), "Not Connected");
    EXPECT_EQ(calls, 1);
    s.OnConnectionRequired = [&](TSockSession* sender, bool& handled) {
        Connect(*sender, peer);
        handled = true;
    };
    EXPECT_NO_THROW(s.CheckConnection());
    EXPECT_TRUE(s.Connected());
}

TEST(SockSession, ListenAcceptAndPortArguments) {
    TSockSession listener;
    listener.Port = 0;
    listener.Listen(true);
    std::string port_text = listener.LocalPortForPort();
    unsigned hi = 0, lo = 0;
    ASSERT_EQ(std::sscanf(port_text.c_str(), ",%u,%u", &hi, &lo), 2) << port_text;
    int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(hi * 256 + lo));
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    listener.AdoptSocket(listener.Accept());
    EXPECT_EQ(listener.RemoteAddress(), 0x7F000001u);
    EXPECT_EQ(listener.LocalAddressForPort(), "127,0,0,1");
    ASSERT_EQ(::send(client, "ok\n", 3, 0), 3);
    EXPECT_EQ(listener.ReadLn(), "ok\n");
    ::close(client);

    TSockSession idle;
    idle.Listen(true);
    auto id = platform::EventPump::Instance().AddTimer(50, [&] { idle.Cancel(); });
    EXPECT_EQ(MessageOf<ESockError>([&] { idle.Accept(); }), "Accepting Canceled");
    platform::EventPump::Instance().CancelTimer(id);
}

}  // namespace

namespace {

TEST(SockSession, FailedSocketCallFiresOnErrorThenRaisesTableText) {
    TSockSession s;  // never connected
    std::vector<std::pair<int, std::string>> seen;
    s.OnError = [&](TSockSession*, std::uint16_t n, const std::string& m) {
        seen.emplace_back(n, m);
    };
    std::string message = MessageOf<ESockError>([&] { s.Write("NOOP\r\n"); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].first == 10057 || seen[0].first == 10058) << seen[0].first;
    EXPECT_EQ(seen[0].second, message);
    EXPECT_EQ(message, platform::SockErrorMessage(seen[0].first));
    EXPECT_EQ(s.LastErrorNo(), seen[0].first);
}

TEST(ThreadTimer, TicksOnlyWhenEnabledWithIntervalAndHandler) {
    ftp::TThreadTimer timer;
    int ticks = 0;
    auto pump_for = [](int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            platform::EventPump::Instance().RunOnePass();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    timer.SetInterval(20);
    pump_for(60);  // enabled by default, but no handler yet
    timer.SetOnTimer([&](ftp::TThreadTimer*) {
        ++ticks;
        throw std::runtime_error("handler failure stays inside the timer");
    });
    pump_for(110);
    EXPECT_GE(ticks, 3);
    timer.SetEnabled(false);
    int seen = ticks;
    pump_for(60);
    EXPECT_EQ(ticks, seen);
    timer.SetEnabled(true);
    timer.SetInterval(0);
    pump_for(60);
    EXPECT_EQ(ticks, seen);
}

}  // namespace
