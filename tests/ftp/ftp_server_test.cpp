// The FTP client against real servers on 127.0.0.1: log-in, directory commands and uploads
// in both data modes, a > 4 GiB upload, and a log-in and upload through an FTP proxy.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ftp/ftp_client.h"
#include "peers/ftp_servers.h"
#include "peers/require_server.h"

namespace {

namespace fs = std::filesystem;
using ftp::TCmdType;
using ftp::TFtpClient;
using ftp::TSockSession;
using ftptest::Kind;

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return s;
}

void Configure(TFtpClient& c, const ftptest::FtpServer& s) {
    c.Host = "127.0.0.1";
    c.Port = s.port;
    c.UserID = s.user;
    c.Password = s.password;
    c.TimeOut = 20000;
}

struct UploadOutcome {
    std::int64_t total = -1, sent_at_stop = -1;
    std::vector<std::string> events;
};

// Runs the program's sequence inside OnConnect: CWD (MKD when missing), TYPE I, upload, QUIT.
UploadOutcome UploadInsideConnect(TFtpClient& c, const std::string& dir, const std::string& local,
                                  const std::string& remote) {
    UploadOutcome out;
    c.OnSuccess = [&](TSockSession*, TCmdType t) {
        out.events.push_back("success " + std::to_string(t));
    };
    c.OnFailure = [&](TSockSession*, bool& handled, TCmdType t) {
        out.events.push_back("failure " + std::to_string(t));
        handled = t == ftp::TransChangeDir;  // a missing directory gets created
    };
    c.OnTransactionStop = [&](TSockSession*) { out.sent_at_stop = c.BytesSent(); };
    c.OnConnect = [&](TSockSession*) {
        if (!dir.empty()) {
            c.ChangeDir(dir);
            if (c.ReplyNumber() >= 400) {
                c.MakeDir(dir);
                c.ChangeDir(dir);
            }
        }
        c.Mode(ftp::TransferImage);
        c.Upload(local, remote);
        out.total = c.BytesTotal;
        c.Disconnect();
    };
    c.Connect();
    return out;
}

class RealServer : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        server_ = ftptest::StartFtpServer(GetParam());
        if (!server_->error.empty()) FERNLAY_SERVER_UNAVAILABLE(server_->error);
        local_dir_ = server_->dir / "local";
        fs::create_directories(local_dir_);
    }
    std::string LocalFile(const std::string& name, const std::string& content) {
        auto p = local_dir_ / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::unique_ptr<ftptest::FtpServer> server_;
    fs::path local_dir_;
};

TEST_P(RealServer, LogInDirectoriesDeleteAndQuit) {
    TFtpClient c;
    Configure(c, *server_);
    std::vector<std::string> events;
    c.OnSuccess = [&](TSockSession*, TCmdType t) { events.push_back(std::to_string(t)); };
    c.OnFailure = [&](TSockSession*, bool& handled, TCmdType t) {
        events.push_back("failure " + std::to_string(t));
        handled = true;
    };
    std::ofstream(server_->root / "gone.txt") << "x";
    int connects = 0;
    c.OnConnect = [&](TSockSession*) {
        ++connects;
        c.ChangeDir("missing");
        c.MakeDir("made");
        c.ChangeDir("made");
        c.ChangeDir("..");
        c.Mode(ftp::TransferImage);
        c.Delete("gone.txt");
        c.Delete("gone.txt");
    };
    c.Connect();
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(c.Connected());
    c.Disconnect();
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(events,
              (std::vector<std::string>{"failure 0", "1", "0", "0", "14", "2", "failure 2"}));
    EXPECT_TRUE(fs::is_directory(server_->root / "made"));
    EXPECT_FALSE(fs::exists(server_->root / "gone.txt"));

    // A wrong password is refused; the same client then logs in again.
    c.Password = "wrong";
    EXPECT_THROW(c.Connect(), ftp::FTPException);
    EXPECT_FALSE(c.Connected());
    c.Password = server_->password;
    c.OnConnect = nullptr;
    c.Connect();
    EXPECT_TRUE(c.Connected());
    c.Disconnect();
}

TEST_P(RealServer, UploadsActiveAndPassiveByteExact) {
    struct Case {
        bool passive;
        std::size_t size;
    } cases[] = {{false, 0}, {false, 200000}, {true, 0}, {true, 200000}};
    for (auto k : cases) {
        SCOPED_TRACE(std::string(k.passive ? "passive " : "active ") + std::to_string(k.size));
        const std::string content = Pattern(k.size);
        const std::string name = (k.passive ? "p" : "a") + std::to_string(k.size) + ".bin";
        std::string local = LocalFile(name, content);
        TFtpClient c;
        Configure(c, *server_);
        c.Passive = k.passive;
        UploadOutcome out = UploadInsideConnect(c, "up", local, "");
        EXPECT_FALSE(c.Connected());
        EXPECT_EQ(out.total, static_cast<std::int64_t>(k.size));
        EXPECT_EQ(out.sent_at_stop, static_cast<std::int64_t>(k.size));
        auto stored = server_->root / "up" / name;
        ASSERT_TRUE(fs::exists(stored));
        EXPECT_EQ(fs::file_size(stored), k.size);
        EXPECT_TRUE(ReadAll(stored) == content);
        EXPECT_EQ(out.events.back(), "success 9");
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer, ::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd),
                         [](const auto& info) {
                             return info.param == Kind::Vsftpd ? "Vsftpd" : "Pyftpdlib";
                         });

// A sparse local file above 4 GiB; the server counts the bytes and throws them away.
TEST(RealServerLarge, UploadAbove4GiBCountsExactlyLarge) {
    auto server = ftptest::StartFtpServer(Kind::PyftpdlibDiscard);
    if (!server->error.empty()) FERNLAY_SERVER_UNAVAILABLE(server->error);
    const std::int64_t size = (std::int64_t{1} << 32) + 12345;
    auto local = server->dir / "sparse.bin";
    {
        int fd = ::open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
    }
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        TFtpClient c;
        Configure(*&c, *server);
        c.Passive = passive;
        const std::string remote = passive ? "p.bin" : "a.bin";
        UploadOutcome out = UploadInsideConnect(c, "", local.string(), remote);
        EXPECT_EQ(out.total, size);
        EXPECT_EQ(out.sent_at_stop, size);
        EXPECT_EQ(ReadAll(server->root / (remote + ".count")), std::to_string(size));
    }
}

// Through the proxy: "USER user@host:port" for a server off port 21, and the proxy dials it.
TEST(RealServerProxy, UserAtHostLogInAndUpload) {
    auto server = ftptest::StartFtpServer(Kind::Pyftpdlib);
    if (!server->error.empty()) FERNLAY_SERVER_UNAVAILABLE(server->error);
    auto proxy = ftptest::StartFtpProxy(21);
    if (!proxy->error.empty()) FERNLAY_SERVER_UNAVAILABLE(proxy->error);
    const std::string content = Pattern(200000);
    auto local = server->dir / "via.bin";
    std::ofstream(local, std::ios::binary) << content;
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        TFtpClient c;
        Configure(c, *server);
        c.Port = server->port;  // named in the USER line; the proxy is dialled
        c.Proxy = "127.0.0.1";
        c.ProxyPort = proxy->port;
        c.FirewallType = ftp::FTUser;
        c.Passive = passive;
        c.ReportLevel = 1;
        std::vector<std::string> status;
        c.OnStatus = [&](TSockSession*, const std::string& s) { status.push_back(s); };
        const std::string remote = passive ? "vp.bin" : "va.bin";
        UploadOutcome out = UploadInsideConnect(c, "", local.string(), remote);
        EXPECT_EQ(out.events, (std::vector<std::string>{"success 14", "success 9"}));
        EXPECT_EQ(ReadAll(server->root / remote), content);
        EXPECT_NE(std::find(status.begin(), status.end(), "PASS "), status.end());
    }
}

}  // namespace
