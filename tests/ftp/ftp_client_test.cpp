#include "ftp/ftp_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "peers/ftp_peer.h"
#include "peers/scripted_peer.h"

namespace {

using namespace peers;
using ftp::EAbortError;
using ftp::ESockError;
using ftp::FTPException;
using ftp::TCmdType;
using ftp::TFtpClient;
using ftp::TSockSession;
using Lines = std::vector<std::string>;

std::vector<Step> Cat(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<Step> LogIn() {
    return {Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass please\r\n"),
            Expect("PASS secret"), Send("230 in\r\n")};
}

std::vector<Step> Quit() { return {Expect("QUIT"), Send("221 bye\r\n")}; }

// Records every event of a client, in order.
struct Recorder {
    Lines events;
    bool handle_failure = false;
    void Attach(TFtpClient& c) {
        c.OnConnect = [this](TSockSession*) { events.push_back("connect"); };
        c.OnConnectionFailed = [this](TSockSession*) { events.push_back("connection failed"); };
        c.OnSuccess = [this](TSockSession*, TCmdType t) {
            events.push_back("success " + std::to_string(t));
        };
        c.OnFailure = [this](TSockSession*, bool& handled, TCmdType t) {
            events.push_back("failure " + std::to_string(t));
            handled = handle_failure;
        };
        c.OnUnSupportedFunction = [this](TSockSession*, TCmdType t) {
            events.push_back("unsupported " + std::to_string(t));
        };
        c.OnTransactionStart = [this](TSockSession*) { events.push_back("start"); };
        c.OnTransactionStop = [this](TSockSession*) { events.push_back("stop"); };
    }
};

void Configure(TFtpClient& c, const ScriptedPeer& peer) {
    c.Host = "127.0.0.1";
    c.Port = peer.Port();
    c.UserID = "joe";
    c.Password = "secret";
    c.TimeOut = 5000;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("fernlay_ftp_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name, std::size_t size) const {
        auto p = path_ / name;
        std::ofstream f(p, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) f.put(static_cast<char>('a' + i % 26));
        return p.string();
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    static inline int counter_ = 0;
};

TEST(FtpLogIn, TableOfGreetingsProxiesAndRefusals) {
    struct Case {
        std::string name;
        std::vector<Step> steps;
        std::function<void(TFtpClient&, const ScriptedPeer&)> setup;
        std::string error;  // empty: log-in succeeds
        Lines transcript;
        Lines events;
    };
    auto via_proxy = [](ftp::TFirewallType type) {
        return [type](TFtpClient& c, const ScriptedPeer& peer) {
            c.Proxy = "127.0.0.1";
            c.ProxyPort = peer.Port();
            c.Port = 21;  // the proxy is dialled; 21 is not named to it
            c.Host = "files.example.test";
            c.FirewallType = type;
        };
    };
    auto short_time_out = [](TFtpClient& c, const ScriptedPeer&) { c.TimeOut = 200; };
    std::vector<Case> cases = {
        {"silent server: no greeting ends on the time-out",
         {Silent(700)},
         short_time_out,
         "Socket readln aborted",
         {},
         {}},
        {"silent server: no reply to PASS ends on the time-out",
         {Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass\r\n"), Expect("PASS secret"),
          Silent(700)},
         short_time_out,
         "Socket readln aborted",
         {"USER joe", "PASS secret"},
         {}},
        {"user and password",
         Cat({LogIn(), Quit()}),
         nullptr,
         "",
         {"USER joe", "PASS secret", "QUIT"},
         {"connect"}},
        {"user alone is enough",
         {Send("220 ready\r\n"), Expect("USER joe"), Send("230 welcome\r\n"), Expect("QUIT"),
          Send("221 bye\r\n")},
         nullptr,
         "",
         {"USER joe", "QUIT"},
         {"connect"}},
        {"multi-line greeting",
         Cat({{Send("220-first line\r\n220-second line\r\n220 last line\r\n"), Expect("USER joe"),
               Send("331 pass\r\n"), Expect("PASS secret"), Send("230-hi\r\n230 in\r\n")},
              Quit()}),
         nullptr,
         "",
         {"USER joe", "PASS secret", "QUIT"},
         {"connect"}},
        {"password refused",
         {Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass\r\n"), Expect("PASS secret"),
          Send("530 Login incorrect.\r\n"), Expect("QUIT"), Send("221 bye\r\n")},
         nullptr,
         "530 Login incorrect.\r\n",
         {"USER joe", "PASS secret", "QUIT"},
         {"connection failed"}},
        {"greeting 421",
         {Send("421 Too many users\r\n"), Expect("QUIT"), Send("221 bye\r\n")},
         nullptr,
         "421 Too many users\r\n",
         {"QUIT"},
         {"connection failed"}},
        // Logged in means 230, or any 2xx once the password was sent; nothing else.
        {"password answered 202",
         Cat({{Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass\r\n"),
               Expect("PASS secret"), Send("202 superfluous\r\n")},
              Quit()}),
         nullptr,
         "",
         {"USER joe", "PASS secret", "QUIT"},
         {"connect"}},
        {"user answered 400 is no log-in",
         {Send("220 ready\r\n"), Expect("USER joe"), Send("400 odd\r\n"), Expect("QUIT"),
          Send("221 bye\r\n")},
         nullptr,
         "400 odd\r\n",
         {"USER joe", "QUIT"},
         {"connection failed"}},
        {"user answered 200 is no log-in",
         {Send("220 ready\r\n"), Expect("USER joe"), Send("200 ok\r\n"), Expect("QUIT"),
          Send("221 bye\r\n")},
         nullptr,
         "200 ok\r\n",
         {"USER joe", "QUIT"},
         {"connection failed"}},
        {"password answered without a code is told in words",
         {Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass\r\n"), Expect("PASS secret"),
          Send("abc\r\n"), Expect("QUIT"), Send("221 bye\r\n")},
         nullptr,
         "The server's reply could not be understood: \"abc\"",
         {"USER joe", "PASS secret", "QUIT"},
         {"connection failed"}},
        {"server closes before the greeting",
         {Close()},
         nullptr,
         "Connection closed by server",
         {},
         {"connection failed"}},
        {"server closes after USER",
         {Send("220 ready\r\n"), Expect("USER joe"), Close()},
         nullptr,
         "Connection closed by server",
         {"USER joe"},
         {"connection failed"}},
        {"server closes after PASS",
         {Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass\r\n"), Expect("PASS secret"),
          Close()},
         nullptr,
         "Connection closed by server",
         {"USER joe", "PASS secret"},
         {"connection failed"}},
        {"NUL in the password is refused, not cut",
         {Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass\r\n"), Expect("QUIT"),
          Send("221 bye\r\n")},
         [](TFtpClient& c, const ScriptedPeer&) { c.Password = std::string("sec\0ret", 7); },
         "NUL in FTP command refused",
         {"USER joe", "QUIT"},
         {}},
        {"proxy user@host",
         Cat({{Send("220 proxy\r\n"), Expect("USER joe@files.example.test"), Send("331 pass\r\n"),
               Expect("PASS secret"), Send("230 in\r\n")},
              Quit()}),
         via_proxy(ftp::FTUser),
         "",
         {"USER joe@files.example.test", "PASS secret", "QUIT"},
         {"connect"}},
        {"proxy user@host:port for a server off port 21",
         Cat({{Send("220 proxy\r\n"), Expect("USER joe@files.example.test:2121"),
               Send("230 in\r\n")},
              Quit()}),
         [via_proxy](TFtpClient& c, const ScriptedPeer& peer) {
             via_proxy(ftp::FTUser)(c, peer);
             c.Port = 2121;
         },
         "",
         {"USER joe@files.example.test:2121", "QUIT"},
         {"connect"}},
        {"proxy user@host answered 230 skips PASS",
         Cat({{Send("220 proxy\r\n"), Expect("USER joe@files.example.test"), Send("230 in\r\n")},
              Quit()}),
         via_proxy(ftp::FTUser),
         "",
         {"USER joe@files.example.test", "QUIT"},
         {"connect"}},
        {"proxy SITE",
         Cat({{Send("220 proxy\r\n"), Expect("SITE files.example.test"), Send("220 there\r\n")},
              {Expect("USER joe"), Send("331 p\r\n"), Expect("PASS secret"), Send("230 in\r\n")},
              Quit()}),
         via_proxy(ftp::FtSite),
         "",
         {"SITE files.example.test", "USER joe", "PASS secret", "QUIT"},
         {"connect"}},
        {"proxy OPEN after proxy log-in",
         Cat({{Send("220 proxy\r\n"), Expect("USER fw"), Send("331 p\r\n"), Expect("PASS fwpw"),
               Send("230 proxy ok\r\n"), Expect("OPEN files.example.test"), Send("220 there\r\n"),
               Expect("USER joe"), Send("230 in\r\n")},
              Quit()}),
         [&](TFtpClient& c, const ScriptedPeer& peer) {
             via_proxy(ftp::FtOpen)(c, peer);
             c.FWAuthenticate = true;
             c.FWUserID = "fw";
             c.FWPassword = "fwpw";
         },
         "",
         {"USER fw", "PASS fwpw", "OPEN files.example.test", "USER joe", "QUIT"},
         {"connect"}},
        {"authentication handler fills the user",
         Cat({LogIn(), Quit()}),
         [](TFtpClient& c, const ScriptedPeer&) {
             c.UserID.clear();
             c.OnAuthenticationNeeded = [](TSockSession* s, bool&) {
                 static_cast<TFtpClient*>(s)->UserID = "joe";
             };
         },
         "",
         {"USER joe", "PASS secret", "QUIT"},
         {"connect"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(c.steps);
        TFtpClient ftp;
        Recorder rec;
        rec.Attach(ftp);
        Configure(ftp, peer);
        if (c.setup) c.setup(ftp, peer);
        ftp.ReportLevel = 1;
        Lines status;
        ftp.OnStatus = [&](TSockSession*, const std::string& s) { status.push_back(s); };
        std::string error = ErrorOf([&] { ftp.Connect(); });
        EXPECT_EQ(error, c.error);
        if (error.empty()) {
            EXPECT_TRUE(ftp.Connected());
            ftp.Disconnect();
        } else {
            EXPECT_EQ(status.back(), "Disconnected");
        }
        EXPECT_FALSE(ftp.Connected());
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Transcript(), c.transcript);
        EXPECT_EQ(peer.Errors(), Lines{});
        EXPECT_EQ(rec.events, c.events);
        // The password never shows in a status text.
        for (auto& s : status) EXPECT_EQ(s.find("secret"), std::string::npos) << s;
    }
}

TEST(FtpCommands, CodesSuccessesAndFailures) {
    ScriptedPeer peer(Cat({LogIn(),
                           {Expect("PWD"),         Send("257 \"/\"\r\n"),
                            Expect("pwd"),         Send("257 x\r\n"),
                            Expect("TYPE I"),      Send("200 ok\r\n"),
                            Expect("TYPE A"),      Send("200 ok\r\n"),
                            Expect("TYPE L 8"),    Send("200 ok\r\n"),
                            Expect("MKD new"),     Send("257 made\r\n"),
                            Expect("DELE f.txt"),  Send("250 gone\r\n"),
                            Expect("CWD missing"), Send("550 No such directory\r\n"),
                            Expect("CWD missing"), Send("550 No such directory\r\n"),
                            Expect("SITE X"),      Send("502 not here\r\n"),
                            Expect("NOOP"),        Send("200-first\r\n200-second\r\n200 last\r\n"),
                            Expect("NOOP"),        Send("200 plain\r\n")},
                           Quit()}));
    TFtpClient ftp;
    Recorder rec;
    Configure(ftp, peer);
    ftp.Connect();
    rec.Attach(ftp);
    ftp.DoCommand("PWD");
    ftp.DoCommand("pwd");
    ftp.Mode(ftp::TransferImage);
    ftp.Mode(ftp::TransferAscii);
    ftp.Mode(ftp::TransferLocal8);
    ftp.Mode(7);  // sends nothing
    ftp.MakeDir("new");
    ftp.Delete("f.txt");
    EXPECT_EQ(ErrorOf([&] { ftp.ChangeDir("missing"); }), "550 No such directory\r\n");
    rec.handle_failure = true;
    EXPECT_EQ(ErrorOf([&] { ftp.ChangeDir("missing"); }), "");
    rec.handle_failure = false;
    EXPECT_EQ(ErrorOf([&] { ftp.DoCommand("SITE X"); }), "502 not here\r\n");
    EXPECT_EQ(ftp.Transaction("NOOP"), "200-first\r\n");
    ftp.DoCommand("NOOP");  // the rest of the multi-line reply was consumed
    EXPECT_EQ(ftp.TransactionReply(), "200 plain\r\n");
    ftp.Disconnect();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Errors(), Lines{});
    EXPECT_EQ(rec.events, (Lines{"success 15", "success 14", "success 14", "success 14",
                                 "success 14", "success 1", "success 2", "failure 0", "failure 0",
                                 "unsupported 14", "failure 14", "success 14"}));
}

// An argument that would break the command line is refused whole, never cut or sent in part:
// a cut line loses its end and the next command is glued on.
TEST(FtpCommands, ArgumentsThatBreakTheCommandLineAreRefusedBeforeSending) {
    const std::string longest(1024 - 2 - 4, 'd');  // "CWD " + this + CR LF is 1,024 bytes
    ScriptedPeer peer(Cat({LogIn(), {Expect("CWD " + longest), Send("250 ok\r\n")}, Quit()}));
    TFtpClient ftp;
    Configure(ftp, peer);
    ftp.Connect();
    TempDir dir;
    std::string file = dir.File("x.txt", 10);
    const std::string breaks = "Line break in FTP command refused";
    const std::string nul = "NUL in FTP command refused";
    const std::string length = "FTP command line longer than 1024 bytes refused";
    const std::vector<std::pair<std::function<void()>, std::string>> attempts = {
        {[&] { ftp.ChangeDir("a\r\nDELE important"); }, breaks},
        {[&] { ftp.MakeDir("a\nb"); }, breaks},
        {[&] { ftp.Delete("x\r"); }, breaks},
        {[&] { ftp.Upload(file, "evil\r\nDELE important"); }, breaks},
        {[&] { ftp.ChangeDir(std::string("x\0QUIT", 6)); }, nul},
        {[&] { ftp.DoCommand(std::string("NOOP\0", 5)); }, nul},
        {[&] { ftp.Upload(file, std::string("a\0b", 3)); }, nul},
        {[&] { ftp.ChangeDir(longest + "d"); }, length},
        {[&] { ftp.MakeDir(std::string(70000, 'm')); }, length},
        {[&] { ftp.Upload(file, std::string(1100, 'n')); }, length},
    };
    for (const auto& [attempt, message] : attempts) {
        try {
            attempt();
            ADD_FAILURE() << "not refused: " << message;
        } catch (const FTPException& e) {
            EXPECT_EQ(e.what(), message);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "refused with another error: " << e.what();
        }
    }
    ftp.ChangeDir(longest);  // the longest line the server takes still goes out
    ftp.Disconnect();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Errors(), Lines{});
    EXPECT_EQ(peer.Transcript(), (Lines{"USER joe", "PASS secret", "CWD " + longest, "QUIT"}));
}

TEST(FtpCommands, NotConnectedAndQuitRefusal) {
    ScriptedPeer peer(Cat({LogIn(), {Expect("QUIT"), Send("500 no quitting\r\n")}}));
    TFtpClient ftp;
    Recorder rec;
    rec.Attach(ftp);
    Configure(ftp, peer);
    ftp.Disconnect();  // not connected: sends nothing
    EXPECT_EQ(ErrorOf([&] { ftp.ChangeDir("x"); }), "Not Connected");
    ftp.Connect();
    EXPECT_EQ(ErrorOf([&] { ftp.Disconnect(); }), "500 no quitting\r\n");
    EXPECT_FALSE(ftp.Connected());
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Transcript(), (Lines{"USER joe", "PASS secret", "QUIT"}));
    EXPECT_EQ(rec.events, Lines{"connect"});  // no OnFailure for "Not Connected"
}

// ---- uploads ----

struct UploadCase {
    std::string name;
    bool passive;
    std::size_t size;
};

TEST(FtpUpload, ActiveAndPassiveCountEveryByteAndFireEventsInOrder) {
    TempDir dir;
    for (auto c : {UploadCase{"active 200000", false, 200000},
                   {"passive 200000", true, 200000},
                   UploadCase{"active empty", false, 0},
                   {"passive empty", true, 0}}) {
        SCOPED_TRACE(c.name);
        auto channel = std::make_shared<DataChannel>();
        std::string local = dir.File("f.bin", c.size);
        ScriptedPeer peer(
            Cat({LogIn(),
                 {c.passive ? OfferPasv(channel) : ExpectPort(channel), Expect("STOR f.bin"),
                  Send("150 go\r\n"), ReceiveData(channel), Send("226 done\r\n")},
                 Quit()}));
        TFtpClient ftp;
        Configure(ftp, peer);
        ftp.Passive = c.passive;
        ftp.Connect();
        Recorder rec;
        rec.Attach(ftp);
        std::int64_t sent_at_stop = -1, sent_at_success = -1;
        int packets = 0;
        bool sender_is_data_session = true;
        ftp.OnPacketSent = [&](TSockSession* s) {
            ++packets;
            sender_is_data_session = sender_is_data_session && s != &ftp;
        };
        ftp.OnTransactionStop = [&](TSockSession*) {
            rec.events.push_back("stop");
            sent_at_stop = ftp.BytesSent();
        };
        ftp.OnSuccess = [&](TSockSession*, TCmdType t) {
            rec.events.push_back("success " + std::to_string(t));
            sent_at_success = ftp.BytesSent();
        };
        ftp.Upload(local, "");
        EXPECT_EQ(rec.events, (Lines{"start", "stop", "success 9"}));
        EXPECT_EQ(ftp.BytesTotal, static_cast<std::int64_t>(c.size));
        EXPECT_EQ(sent_at_stop, static_cast<std::int64_t>(c.size));
        EXPECT_EQ(sent_at_success, 0);  // the data session is gone by then
        EXPECT_EQ(packets > 0, c.size > 0);
        EXPECT_TRUE(sender_is_data_session);
        ftp.Disconnect();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Errors(), Lines{});
        EXPECT_EQ(channel->bytes, static_cast<std::int64_t>(c.size));
        EXPECT_TRUE(channel->closed_normally);
        EXPECT_FALSE(channel->reset);
    }
}

TEST(FtpUpload, RefusalsAndFailuresReachOnFailure) {
    TempDir dir;
    std::string local = dir.File("f.bin", 1000);
    struct Case {
        std::string name;
        bool passive;
        std::vector<Step> steps;  // after log-in, before QUIT
        bool handle;
        std::string error;
        Lines events;
    };
    auto ch = std::make_shared<DataChannel>();
    std::vector<Case> cases = {
        {"STOR 553",
         false,
         {ExpectPort(ch), Expect("STOR f.bin"), Send("553 Not allowed\r\n")},
         false,
         "553 Not allowed\r\n",
         {"failure 9", "failure 9"}},
        {"STOR 553 handled",
         false,
         {ExpectPort(ch), Expect("STOR f.bin"), Send("553 Not allowed\r\n")},
         true,
         "",
         {"failure 9"}},
        {"STOR 502",
         true,
         {OfferPasv(ch), Expect("STOR f.bin"), Send("502 no\r\n")},
         false,
         "502 no\r\n",
         {"unsupported 9", "failure 9", "failure 9"}},
        {"PORT 500 is no unsupported function",
         false,
         {ExpectPort(ch, "500 PORT what\r\n")},
         false,
         "500 PORT what\r\n",
         {"failure 9", "failure 9"}},
        {"PASV refused",
         true,
         {Expect("PASV"), Send("530 no\r\n")},
         false,
         "530 no\r\n",
         {"failure 9", "failure 9"}},
        {"PASV without six numbers",
         true,
         {Expect("PASV"), Send("227 Entering Passive Mode (127,0,0,1)\r\n")},
         false,
         "The server's reply could not be understood: \"227 Entering Passive Mode (127,0,0,1)\"",
         {"failure 9"}},
        {"451 after the transfer is a failure",
         true,
         {OfferPasv(ch), Expect("STOR f.bin"), Send("150 go\r\n"), ReceiveData(ch),
          Send("451 local error\r\n")},
         false,
         "451 local error\r\n",
         {"start", "stop", "failure 9"}},
        {"multi-line 226 after the transfer",
         true,
         {OfferPasv(ch), Expect("STOR f.bin"), Send("150 go\r\n"), ReceiveData(ch),
          Send("226-stored\r\n226 done\r\n")},
         false,
         "",
         {"start", "stop", "success 9"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(Cat({LogIn(), c.steps, {Expect("NOOP"), Send("200 ok\r\n")}, Quit()}));
        TFtpClient ftp;
        Configure(ftp, peer);
        ftp.Passive = c.passive;
        ftp.Connect();
        Recorder rec;
        rec.Attach(ftp);
        rec.handle_failure = c.handle;
        EXPECT_EQ(ErrorOf([&] { ftp.Upload(local, ""); }), c.error);
        EXPECT_EQ(rec.events, c.events);
        // The control connection stays usable and in step.
        ftp.DoCommand("NOOP");
        EXPECT_EQ(ftp.ReplyNumber(), 200);
        ftp.Disconnect();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Errors(), Lines{});
    }
}

// The file counts as stored only when the server confirms it with a 2xx reply after the data.
// Preliminary 1xx replies are read past, so a refusal behind one is not left for the next
// command (or QUIT) to swallow; a closed connection or a reply after the wait is no success.
TEST(FtpUpload, CompletionReplyDecidesWhetherTheFileIsStored) {
    TempDir dir;
    std::string local = dir.File("f.bin", 1000);
    struct Case {
        std::string name;
        std::vector<Step> completion;  // after the data connection closed
        bool session_goes_on;          // the server answers NOOP and QUIT afterwards
        int time_out;
        std::string error;
        Lines events;
    };
    const Lines stored{"start", "stop", "success 9"};
    const Lines failed{"start", "stop", "failure 9"};
    const std::vector<Case> cases = {
        {"226", {Send("226 done\r\n")}, true, 5000, "", stored},
        {"250", {Send("250 ok\r\n")}, true, 5000, "", stored},
        {"110 then 226",
         {Send("110 MARK 1000 = 1000\r\n"), Send("226 done\r\n", 100)},
         true,
         5000,
         "",
         stored},
        {"110 then 452",
         {Send("110 MARK 1000 = 1000\r\n"), Send("452 not stored\r\n", 100)},
         true,
         5000,
         "452 not stored\r\n",
         failed},
        {"close after the data", {Close()}, false, 5000, "Connection closed by server", failed},
        {"no code after the data",
         {Send("stored, I think\r\n")},
         true,
         5000,
         "The server's reply could not be understood: \"stored, I think\"",
         failed},
        {"451 late",
         {Silent(450), Send("451 local error\r\n")},
         true,
         300,
         "451 local error\r\n",
         failed},
        {"226 late",
         {Silent(450), Send("226 done\r\n")},
         true,
         300,
         "Connection Timed out",
         failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto ch = std::make_shared<DataChannel>();
        std::vector<Step> after = c.completion;
        if (c.session_goes_on) after = Cat({after, {Expect("NOOP"), Send("200 ok\r\n")}, Quit()});
        ScriptedPeer peer(
            Cat({LogIn(),
                 {OfferPasv(ch), Expect("STOR f.bin"), Send("150 go\r\n"), ReceiveData(ch)},
                 after}));
        TFtpClient ftp;
        Configure(ftp, peer);
        ftp.Passive = true;
        ftp.Connect();
        ftp.TimeOut = c.time_out;
        Recorder rec;
        rec.Attach(ftp);
        EXPECT_EQ(ErrorOf([&] { ftp.Upload(local, ""); }), c.error);
        EXPECT_EQ(rec.events, c.events);
        EXPECT_EQ(ch->bytes, 1000);
        if (c.session_goes_on) {
            // In step: the next reply belongs to the next command, and QUIT is answered 221.
            EXPECT_EQ(ErrorOf([&] { ftp.DoCommand("NOOP"); }), "");
            EXPECT_EQ(ftp.TransactionReply(), "200 ok\r\n");
            EXPECT_EQ(ErrorOf([&] { ftp.Disconnect(); }), "");
        } else {
            ErrorOf([&] { ftp.Disconnect(); });
        }
        EXPECT_FALSE(ftp.Connected());
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Errors(), Lines{});
    }
}

TEST(FtpUpload, RemoteNameDefaultsToFileNamePartOfLocalPath) {
    EXPECT_EQ(ftp::FileNamePart("data\\a.txt"), "a.txt");
    EXPECT_EQ(ftp::FileNamePart("/tmp/x/b.bin"), "b.bin");
    EXPECT_EQ(ftp::FileNamePart("plain"), "plain");
    // 0x95 0x5C is one Shift_JIS character whose trail byte is a backslash.
    EXPECT_EQ(ftp::FileNamePart("d/\x95\x5C.txt"), "\x95\x5C.txt");

    TempDir dir;
    std::string local = dir.File("data\\a.txt", 5);
    auto ch = std::make_shared<DataChannel>();
    ScriptedPeer peer(Cat({LogIn(),
                           {OfferPasv(ch), Expect("STOR a.txt"), Send("150 go\r\n"),
                            ReceiveData(ch), Send("226 ok\r\n")},
                           Quit()}));
    TFtpClient ftp;
    Configure(ftp, peer);
    ftp.Passive = true;
    ftp.ReportLevel = 1;
    Lines status;
    ftp.OnStatus = [&](TSockSession*, const std::string& s) { status.push_back(s); };
    ftp.Connect();
    ftp.Upload(local, "");
    ftp.Disconnect();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Errors(), Lines{});
    EXPECT_NE(std::find(status.begin(), status.end(), "STOR " + local), status.end());
}

TEST(FtpUpload, MissingLocalFileFailsBeforeSendingAndNextUploadWorks) {
    TempDir dir;
    std::string good = dir.File("g.bin", 300);
    auto ch = std::make_shared<DataChannel>();
    ScriptedPeer peer(Cat({LogIn(),
                           {ExpectPort(ch), Expect("STOR g.bin"), Send("150 go\r\n"),
                            ReceiveData(ch), Send("226 ok\r\n")},
                           Quit()}));
    TFtpClient ftp;
    Configure(ftp, peer);
    ftp.Connect();
    Recorder rec;
    rec.Attach(ftp);
    EXPECT_NE(ErrorOf([&] { ftp.Upload((dir.path() / "none.bin").string(), ""); }), "");
    EXPECT_EQ(rec.events, Lines{"failure 9"});
    ftp.Upload(good, "");
    ftp.Disconnect();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Errors(), Lines{});
    EXPECT_EQ(ch->bytes, 300);
}

TEST(FtpUpload, ActiveModeRefusesDataConnectionFromAnotherAddress) {
    TempDir dir;
    std::string local = dir.File("f.bin", 1000);
    auto ch = std::make_shared<DataChannel>();
    ch->connect_from = "127.0.0.2";  // a stranger on the loopback net
    ScriptedPeer peer(
        Cat({LogIn(),
             {ExpectPort(ch), Expect("STOR f.bin"), Send("150 go\r\n"), ReceiveData(ch)},
             Quit()}));
    TFtpClient ftp;
    Configure(ftp, peer);
    ftp.Connect();
    Recorder rec;
    rec.Attach(ftp);
    EXPECT_EQ(ErrorOf([&] { ftp.Upload(local, ""); }), "Error creating Data Connection");
    EXPECT_EQ(rec.events, Lines{"failure 9"});
    ftp.Disconnect();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(ch->bytes, 0);
}

TEST(FtpUpload, AbortDuringTransferEndsItWithoutTransactionStop) {
    TempDir dir;
    std::string local = dir.File("big.bin", 4 << 20);
    auto ch = std::make_shared<DataChannel>();
    ScriptedPeer peer(
        Cat({LogIn(),
             {OfferPasv(ch), Expect("STOR big.bin"), Send("150 go\r\n"), ReceiveData(ch),
              Send("426 aborted\r\n"), Expect("NOOP"), Send("200 ok\r\n")},
             Quit()}));
    TFtpClient ftp;
    Configure(ftp, peer);
    ftp.Passive = true;
    ftp.Connect();
    Recorder rec;
    rec.Attach(ftp);
    ftp.OnPacketSent = [&](TSockSession*) { ftp.Abort(); };
    EXPECT_EQ(ErrorOf([&] { ftp.Upload(local, ""); }), "Socket send aborted");
    EXPECT_EQ(rec.events, (Lines{"start", "failure 9"}));
    EXPECT_EQ(ftp.BytesSent(), 0);
    // Once the server's 426 has come, the next command drops it and stays in step.
    for (int i = 0; i < 200 && !ftp.DataAvailable(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ftp.DoCommand("NOOP");
    EXPECT_EQ(ftp.TransactionReply(), "200 ok\r\n");
    ftp.Disconnect();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_LT(ch->bytes, 4 << 20);
}

TEST(FtpUpload, DataConnectionThatNeverComesOrStallsEndsOnTheTimeOut) {
    TempDir dir;
    std::string local = dir.File("big.bin", 32 << 20);
    struct Case {
        const char* name;
        bool passive;
        std::vector<Step> data_steps;
        std::string error;
        Lines events;
    };
    auto ch = std::make_shared<DataChannel>();
    const std::vector<Case> cases = {
        {"active: the server never connects back",
         false,
         {ExpectPort(ch), Expect("STOR big.bin"), Send("150 go\r\n")},
         "Accept Timed Out",
         {"failure 9"}},
        {"passive: the server stops reading",
         true,
         {OfferPasv(ch), Expect("STOR big.bin"), Send("150 go\r\n"), HoldData(ch)},
         "Send Timed Out",
         {"start", "failure 9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(Cat({LogIn(), c.data_steps, Quit()}));
        TFtpClient ftp;
        Configure(ftp, peer);
        ftp.Passive = c.passive;
        ftp.Connect();
        ftp.TimeOut = 300;
        Recorder rec;
        rec.Attach(ftp);
        EXPECT_EQ(ErrorOf([&] { ftp.Upload(local, ""); }), c.error);
        EXPECT_EQ(rec.events, c.events);
        ftp.Disconnect();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Errors(), Lines{});
    }
}

TEST(FtpUpload, TimeOutOnControlConnection) {
    TempDir dir;
    std::string local = dir.File("f.bin", 1000);
    struct Case {
        const char* name;
        bool passive;
        std::vector<Step> steps;
        int time_out;
        std::string error;
        Lines events;
        int at_least_ms;
    };
    auto ch = std::make_shared<DataChannel>();
    const std::vector<Case> cases = {
        // The late STOR reply (after one time-out, before a second) cancels the data session;
        // Accept then gives up.
        {"active, late STOR reply",
         false,
         {ExpectPort(ch), Expect("STOR f.bin"), Silent(450), Send("150 go\r\n")},
         300,
         "Accepting Canceled",
         {"failure 9"},
         0},
        // The data connection is open already, but the timed-out flag skips the transfer and
        // the completion reply; nothing reached the server, so it is a failure.
        {"passive, late STOR reply",
         true,
         {OfferPasv(ch), Expect("STOR f.bin"), Silent(450), Send("150 go\r\n"), ReceiveData(ch)},
         300,
         "Connection Timed out",
         {"start", "stop", "failure 9"},
         0},
        // A server that never answers STOR: the second time-out ends the control read, so the
        // upload fails instead of waiting for ever, and QUIT still goes out.
        {"passive, no STOR reply at all",
         true,
         {OfferPasv(ch), Expect("STOR f.bin"), Silent(1000)},
         400,
         "Socket readln aborted",
         {"failure 9"},
         700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ch->bytes = 0;
        ScriptedPeer peer(Cat({LogIn(), c.steps, Quit()}));
        TFtpClient ftp;
        Configure(ftp, peer);
        ftp.Passive = c.passive;
        ftp.Connect();
        ftp.TimeOut = c.time_out;
        Recorder rec;
        rec.Attach(ftp);
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(ErrorOf([&] { ftp.Upload(local, ""); }), c.error);
        EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(c.at_least_ms));
        EXPECT_EQ(rec.events, c.events);
        ftp.Disconnect();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Errors(), Lines{});
        EXPECT_EQ(ch->bytes, 0);
    }
}

}  // namespace
