// The SMTP component against scripted servers: greetings, replies in odd pieces, refusals,
// a server that goes away, and the exact commands and data sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "mail/orb_smtp.h"
#include "peers/scripted_peer.h"

namespace {

using namespace peers;
using mail::TOrbMsg;
using mail::TOrbSMTP;

// Records every event of a component as text, in order.
struct SmtpRecorder {
    std::vector<std::string> events;
    std::vector<int> progress;
    int error_code = 0;
    std::string error_text;

    void Attach(TOrbSMTP& smtp) {
        smtp.OnConnect = [this](void*) { events.push_back("connect"); };
        smtp.OnQuit = [this](void*) { events.push_back("quit"); };
        smtp.OnError = [this](void*, int code, const std::string& msg) {
            events.push_back("error " + std::to_string(code));
            error_code = code;
            error_text = msg;
        };
        smtp.OnBeforeSend = [this](void*) { events.push_back("before"); };
        smtp.OnAfterSend = [this](void*) { events.push_back("after"); };
        smtp.OnSendProgress = [this](void*, std::uint16_t p) { progress.push_back(p); };
    }
};

TOrbMsg SmallMessage(int body_lines = 2) {
    TOrbMsg m;
    m.From = "taro@example.jp";
    m.SendTo = "hanako@example.jp";
    m.Subject = "test";
    m.CharSet = "ISO-2022-JP";
    for (int i = 1; i <= body_lines; ++i) m.Text.push_back("line " + std::to_string(i));
    return m;
}

std::string HeloLine() {
    char name[257] = {};
    gethostname(name, 256);
    return std::string("HELO ") + name;
}

// Greeting and HELO of a well-behaved server.
std::vector<Step> Greeted() {
    return {Send("220 mail.example ESMTP\r\n"), Expect(), Send("250 hi\r\n")};
}

// The steps of one accepted transaction for `rcpts` recipients.
std::vector<Step> Accepted(int rcpts) {
    std::vector<Step> s{Expect(), Send("250 sender ok\r\n")};
    for (int i = 0; i < rcpts; ++i) {
        s.push_back(Expect());
        s.push_back(Send("250 rcpt ok\r\n"));
    }
    s.push_back(Expect("DATA"));
    s.push_back(Send("354 go ahead\r\n"));
    s.push_back(ExpectUntil("."));
    s.push_back(Send("250 queued\r\n"));
    return s;
}

std::vector<Step> Concat(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

void ConnectTo(TOrbSMTP& smtp, const ScriptedPeer& peer) {
    smtp.Host = "127.0.0.1";
    smtp.Port = std::to_string(peer.Port());
    smtp.Connect();
}

struct GreetingCase {
    const char* name;
    std::vector<Step> steps;
    bool error;
    int error_code;  // 0: OnError must not fire
    bool helo_sent;
};

TEST(SmtpConnect, GreetingsAndHelo) {
    const std::vector<GreetingCase> cases = {
        {"multi-line greeting",
         {Send("220-mail.example\r\n220-second line\r\n220 ready\r\n"), Expect(),
          Send("250 hi\r\n")},
         false,
         0,
         true},
        {"other code before 220",
         {Send("120 wait a little\r\n"), Send("220 ready\r\n", 60), Expect(), Send("250 hi\r\n")},
         false,
         0,
         true},
        {"greeting split over reads",
         {SendSplit("220 ready for you\r\n", 3), Expect(), SendSplit("250 hello there\r\n", 4)},
         false,
         0,
         true},
        {"continuation and end split mid-line",
         {SendSplit("220-a\r\n220 b\r\n", 6), Expect(), Send("250 hi\r\n")},
         false,
         0,
         true},
        {"LF-only lines",
         {SendLf("220 ready\r\n"), Expect(), SendLf("250 hi\r\n")},
         false,
         0,
         true},
        {"bare code without text", {Send("220\r\n"), Expect(), Send("250\r\n")}, false, 0, true},
        {"421 greeting", {Send("421 too busy\r\n")}, true, 421, false},
        {"421 after a continuation", {Send("220-hello\r\n421 going down\r\n")}, true, 421, false},
        {"HELO refused",
         {Send("220 ready\r\n"), Expect(), Send("501 who are you\r\n")},
         true,
         501,
         true},
        {"closed before the greeting", {Close()}, true, 421, false},
        {"closed after HELO", {Send("220 ready\r\n"), Expect(), Close()}, true, 421, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(c.steps);
        TOrbSMTP smtp;
        SmtpRecorder rec;
        rec.Attach(smtp);
        ConnectTo(smtp, peer);
        EXPECT_EQ(smtp.ErrorFlag, c.error);
        EXPECT_EQ(rec.error_code, c.error_code);
        EXPECT_EQ(smtp.Connected, !c.error);
        ASSERT_FALSE(rec.events.empty());
        EXPECT_EQ(rec.events.front(), "connect");
        if (c.error) {
            EXPECT_EQ(rec.events.at(1), "quit");  // closed before OnError
        }
        smtp.Quit();
        ASSERT_TRUE(peer.WaitDone());
        const auto t = peer.Transcript();
        if (c.helo_sent) {
            ASSERT_FALSE(t.empty());
            EXPECT_EQ(t[0], HeloLine());
        } else {
            EXPECT_TRUE(t.empty() || t[0] != HeloLine());
        }
    }
}

TEST(SmtpConnect, ReplyFieldsComeFromTheLastLine) {
    ScriptedPeer peer({Send("220-first line\r\n220 the real greeting text\r\n"), Expect(),
                       Send("250-mail.example\r\n250-SIZE 1000\r\n250 HELP\r\n")});
    TOrbSMTP smtp;
    ConnectTo(smtp, peer);
    EXPECT_FALSE(smtp.ErrorFlag);
    EXPECT_EQ(smtp.ReplyCode, "250");
    EXPECT_EQ(smtp.ReplyText, "HELP");
    smtp.AbortRequested = true;  // leave without QUIT
    smtp.Quit();
}

TEST(SmtpConnect, UnreachableServerOnlySetsErrorFlag) {
    ScriptedPeer peer({});  // accepts nothing useful; we connect elsewhere
    TOrbSMTP smtp;
    SmtpRecorder rec;
    rec.Attach(smtp);
    smtp.Host = "127.0.0.1";
    smtp.Port = "1";  // nothing listens there
    smtp.Connect();
    EXPECT_TRUE(smtp.ErrorFlag);
    EXPECT_TRUE(rec.events.empty());
    smtp.Host = "no-such-host.invalid";
    smtp.Connect();
    EXPECT_TRUE(smtp.ErrorFlag);
    EXPECT_TRUE(rec.events.empty());
    // Let the peer's accept give up quickly: connect once and leave.
    smtp.Host = "localhost";  // a name, resolved
    smtp.Port = std::to_string(peer.Port());
    smtp.Connect();
    EXPECT_TRUE(smtp.ErrorFlag);  // the peer closes without a greeting
}

TEST(SmtpSend, OneTransactionWithExactCommandsAndData) {
    ScriptedPeer peer(Concat({Greeted(), Accepted(1), {Expect("QUIT"), Send("221 bye\r\n")}}));
    TOrbSMTP smtp;
    SmtpRecorder rec;
    rec.Attach(smtp);
    ConnectTo(smtp, peer);
    TOrbMsg m = SmallMessage();
    m.Text.push_back(".");
    m.Text.push_back(".hidden");
    ASSERT_TRUE(smtp.SendMessage(m));
    EXPECT_FALSE(smtp.ErrorFlag);
    smtp.Quit();
    smtp.Quit();  // second call finds the session closed
    EXPECT_FALSE(smtp.Connected);
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_TRUE(peer.Errors().empty());
    const auto t = peer.Transcript();
    ASSERT_GE(t.size(), 6u);
    EXPECT_EQ(t[1], "MAIL FROM:<taro@example.jp>");
    EXPECT_EQ(t[2], "RCPT TO:<hanako@example.jp>");
    EXPECT_EQ(t[3], "DATA");
    EXPECT_EQ(t.back(), "QUIT");
    // Data: the rendered header, an empty line, the body (dot-stuffed), one more empty line, ".".
    const std::vector<std::string> data(t.begin() + 4, t.end() - 1);
    ASSERT_GE(data.size(), 8u);
    EXPECT_EQ(data[0].rfind("Message-Id: <ORB.", 0), 0u);
    EXPECT_EQ(data[1], "Date: " + m.Date);
    EXPECT_NE(std::find(data.begin(), data.end(), "Subject: test"), data.end());
    EXPECT_NE(std::find(data.begin(), data.end(), "To: hanako@example.jp"), data.end());
    const std::vector<std::string> tail(data.end() - 7, data.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"", "line 1", "line 2", "..", "..hidden", "", "."}));
    EXPECT_EQ(rec.events, (std::vector<std::string>{"connect", "before", "after", "quit"}));
}

TEST(SmtpSend, ProgressOfTwentyLines) {
    // 10 header lines + the empty line + 9 body lines = 20 data lines.
    ScriptedPeer peer(Concat({Greeted(), Accepted(1)}));
    TOrbSMTP smtp;
    SmtpRecorder rec;
    rec.Attach(smtp);
    ConnectTo(smtp, peer);
    TOrbMsg m = SmallMessage(9);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(smtp.SendMessage(m));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100))
        << "5 ms after each of the 20 lines";
    smtp.AbortRequested = true;
    smtp.Quit();
    ASSERT_TRUE(peer.WaitDone());
    const auto t = peer.Transcript();
    ASSERT_EQ(t.size(), 4u + 20u + 2u) << "data lines, the extra empty line and the terminator";
    EXPECT_EQ(rec.progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100}));
}

TEST(SmtpSend, ToCcAndBccInThreeTransactionsWithTheSameData) {
    ScriptedPeer peer(Concat(
        {Greeted(), Accepted(1), Accepted(2), Accepted(1), {Expect("QUIT"), Send("221 bye\r\n")}}));
    TOrbSMTP smtp;
    SmtpRecorder rec;
    rec.Attach(smtp);
    ConnectTo(smtp, peer);
    TOrbMsg m = SmallMessage();
    m.SendTo = "\"Yamada, Taro\" <Taro@Example.JP>";
    m.CC = "a@x.jp, Bee (office) <B@Y.jp>";
    m.BCC = "hidden@z.jp";
    ASSERT_TRUE(smtp.SendMessage(m));
    smtp.Quit();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_TRUE(peer.Errors().empty());
    std::vector<std::string> envelope;
    std::vector<std::vector<std::string>> datas;
    bool in_data = false;
    for (const auto& line : peer.Transcript()) {
        if (in_data) {
            datas.back().push_back(line);
            if (line == ".") in_data = false;
        } else if (line == "DATA") {
            in_data = true;
            datas.emplace_back();
        } else if (line.rfind("HELO", 0) != 0) {
            envelope.push_back(line);
        }
    }
    EXPECT_EQ(envelope, (std::vector<std::string>{
                            "MAIL FROM:<taro@example.jp>", "RCPT TO:<taro@example.jp>",
                            "MAIL FROM:<taro@example.jp>", "RCPT TO:<a@x.jp>", "RCPT TO:<b@y.jp>",
                            "MAIL FROM:<taro@example.jp>", "RCPT TO:<hidden@z.jp>", "QUIT"}));
    ASSERT_EQ(datas.size(), 3u);
    EXPECT_EQ(datas[0], datas[1]);
    EXPECT_EQ(datas[0], datas[2]);
    for (const auto& line : datas[0]) EXPECT_EQ(line.find("hidden@z.jp"), std::string::npos);
    EXPECT_EQ(rec.progress.back(), 100);
}

struct RefusalCase {
    const char* name;
    std::vector<Step> steps;  // after the greeting
    int code;
    const char* text;
};

TEST(SmtpSend, RefusalsEndTheSessionThroughTheErrorRoutine) {
    const std::vector<RefusalCase> cases = {
        {"MAIL refused", {Expect(), Send("550 sender rejected\r\n")}, 550, "sender rejected"},
        {"RCPT refused",
         {Expect(), Send("250 ok\r\n"), Expect(), Send("553-no such user\r\n553 really\r\n")},
         553,
         "really"},
        {"DATA refused",
         {Expect(), Send("250 ok\r\n"), Expect(), Send("250 ok\r\n"), Expect("DATA"),
          Send("554 no data today\r\n")},
         554,
         "no data today"},
        {"end of data refused",
         {Expect(), Send("250 ok\r\n"), Expect(), Send("250 ok\r\n"), Expect("DATA"),
          Send("354 go\r\n"), ExpectUntil("."), Send("552 too big\r\n")},
         552,
         "too big"},
        {"closed while the MAIL reply is awaited",
         {Expect(), Close()},
         421,
         TOrbSMTP::kClosedReplyText},
        {"closed after the data",
         {Expect(), Send("250 ok\r\n"), Expect(), Send("250 ok\r\n"), Expect("DATA"),
          Send("354 go\r\n"), ExpectUntil("."), Close()},
         421,
         TOrbSMTP::kClosedReplyText},
        {"silent after the data",
         {Expect(), Send("250 ok\r\n"), Expect(), Send("250 ok\r\n"), Expect("DATA"),
          Send("354 go\r\n"), ExpectUntil("."), Silent(800)},
         421,
         TOrbSMTP::kSilentReplyText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(Concat({Greeted(), c.steps}));
        TOrbSMTP smtp;
        smtp.IdleLimitMs = 300;
        SmtpRecorder rec;
        rec.Attach(smtp);
        ConnectTo(smtp, peer);
        TOrbMsg m = SmallMessage();
        m.CC = "second@example.jp";  // a second transaction that must not start
        EXPECT_TRUE(smtp.SendMessage(m));
        EXPECT_TRUE(smtp.ErrorFlag);
        EXPECT_FALSE(smtp.Connected);
        EXPECT_EQ(rec.error_code, c.code);
        EXPECT_EQ(rec.error_text, c.text);
        EXPECT_EQ(rec.events,
                  (std::vector<std::string>{"connect", "before", "quit",
                                            "error " + std::to_string(c.code), "after"}));
        EXPECT_EQ(rec.progress.back(), 100);
        smtp.Quit();  // nothing left to do
        ASSERT_TRUE(peer.WaitDone());
        for (const auto& line : peer.Transcript()) {
            EXPECT_NE(line, "RCPT TO:<second@example.jp>");
            EXPECT_NE(line, "QUIT");
        }
    }
}

TEST(SmtpQuit, ReplyOtherThan221RunsTheErrorRoutine) {
    ScriptedPeer peer(Concat({Greeted(), {Expect("QUIT"), Send("250 what\r\n")}}));
    TOrbSMTP smtp;
    SmtpRecorder rec;
    rec.Attach(smtp);
    ConnectTo(smtp, peer);
    smtp.Quit();
    EXPECT_TRUE(smtp.ErrorFlag);
    EXPECT_FALSE(smtp.Connected);
    EXPECT_EQ(rec.events, (std::vector<std::string>{"connect", "quit", "error 250"}));
    smtp.Quit();
    EXPECT_EQ(rec.events.size(), 3u);
}

TEST(SmtpSend, AbortDuringTheDataEndsWithoutTerminatorOrQuit) {
    ScriptedPeer peer(Concat({Greeted(),
                              {Expect(), Send("250 ok\r\n"), Expect(), Send("250 ok\r\n"),
                               Expect("DATA"), Send("354 go\r\n"), Custom([](PeerConnection& c) {
                                   std::string line;
                                   while (c.ReadLine(line)) c.Record(line);
                               })}}));
    TOrbSMTP smtp;
    SmtpRecorder rec;
    rec.Attach(smtp);
    smtp.OnSendProgress = [&](void*, std::uint16_t p) {
        rec.progress.push_back(p);
        if (p >= 30) smtp.AbortRequested = true;
    };
    ConnectTo(smtp, peer);
    TOrbMsg m = SmallMessage(9);
    EXPECT_TRUE(smtp.SendMessage(m));
    EXPECT_TRUE(smtp.ErrorFlag);
    EXPECT_EQ(rec.error_code, 354);  // the last reply
    smtp.Quit();
    ASSERT_TRUE(peer.WaitDone());
    const auto t = peer.Transcript();
    EXPECT_EQ(t.size(), 4u + 6u) << "six of the twenty data lines were sent";
    for (const auto& line : t) EXPECT_NE(line, "QUIT");
}

TEST(SmtpSend, RefusedBeforeAnythingIsSent) {
    struct Case {
        const char* name;
        void (*change)(TOrbMsg&);
        const char* message;
    };
    const Case cases[] = {
        {"no From", [](TOrbMsg& m) { m.From.clear(); }, "\"From\" field not specified."},
        {"no SendTo", [](TOrbMsg& m) { m.SendTo.clear(); }, "\"SendTo\" field not specified."},
        {"CR LF in From", [](TOrbMsg& m) { m.From = "a@x.jp>\r\nRCPT TO:<victim@y.jp"; },
         "Line break or NUL in From."},
        {"LF in SendTo", [](TOrbMsg& m) { m.SendTo = "b@y.jp\nDATA"; },
         "Line break or NUL in SendTo."},
        {"CR in CC", [](TOrbMsg& m) { m.CC = "c@y.jp\rQUIT"; }, "Line break or NUL in CC."},
        {"LF in BCC", [](TOrbMsg& m) { m.BCC = "d@y.jp\nRSET"; }, "Line break or NUL in BCC."},
        // Header values: a line break would start a header line of its own (Bcc:).
        {"CR LF in Subject", [](TOrbMsg& m) { m.Subject = "Hi\r\nBcc: evil@y.jp"; },
         "Line break or NUL in Subject."},
        {"lone CR in ReplyTo", [](TOrbMsg& m) { m.ReplyTo = "r@x.jp\rBcc: evil@y.jp"; },
         "Line break or NUL in ReplyTo."},
        {"LF in JPName", [](TOrbMsg& m) { m.JPName = "Taro\nBcc: evil@y.jp"; },
         "Line break or NUL in JPName."},
        {"LF in UserName", [](TOrbMsg& m) { m.UserName = "Taro\nBcc: evil@y.jp"; },
         "Line break or NUL in UserName."},
        {"CR in an extra header", [](TOrbMsg& m) { m.ExtraHeaders = {"X-A: 1\rBcc: e@y.jp"}; },
         "Line break or NUL in ExtraHeaders."},
        {"NUL in Subject", [](TOrbMsg& m) { m.Subject = std::string("Hi\0there", 8); },
         "Line break or NUL in Subject."},
        {"NUL in From", [](TOrbMsg& m) { m.From = std::string("a@x.jp\0b", 8); },
         "Line break or NUL in From."},
        // Envelope addresses: anything past the address would become an ESMTP parameter.
        {"parameter after the sender", [](TOrbMsg& m) { m.From = "a@x.jp> SIZE=1"; },
         "Address in From holds \"<\", \">\", \",\" or a blank."},
        {"parameter after a recipient", [](TOrbMsg& m) { m.SendTo = "b@y.jp> NOTIFY=SUCCESS"; },
         "Address in SendTo holds \"<\", \">\", \",\" or a blank."},
        {"blank inside the brackets", [](TOrbMsg& m) { m.CC = "Hanako <b c@y.jp>"; },
         "Address in CC holds \"<\", \">\", \",\" or a blank."},
        {"comma inside the sender's brackets",
         [](TOrbMsg& m) { m.From = "Taro <a@x.jp,evil@y.jp>"; },
         "Address in From holds \"<\", \">\", \",\" or a blank."},
        {"< inside the brackets", [](TOrbMsg& m) { m.BCC = "<d<e@y.jp>"; },
         "Address in BCC holds \"<\", \">\", \",\" or a blank."},
    };
    ScriptedPeer peer(Concat({Greeted(), {Expect("QUIT"), Send("221 bye\r\n")}}));
    TOrbSMTP smtp;
    ConnectTo(smtp, peer);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TOrbMsg m = SmallMessage();
        c.change(m);
        try {
            smtp.SendMessage(m);
            ADD_FAILURE() << "not refused";
        } catch (const mail::EMailArgumentError& e) {
            EXPECT_STREQ(e.what(), c.message);
        } catch (const mail::ESmtpError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_TRUE(smtp.Connected);
    }
    smtp.Quit();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Transcript().size(), 2u) << "HELO and QUIT only";

    TOrbSMTP idle;
    TOrbMsg m = SmallMessage();
    try {
        idle.SendMessage(m);
        ADD_FAILURE() << "not refused";
    } catch (const mail::ESmtpError& e) {
        EXPECT_STREQ(e.what(), "Not connected.");
    }
}

TEST(SmtpSend, AttachmentEncodeEventsAndCancelDuringEncoding) {
    const std::string path = ::testing::TempDir() + "fernlay_smtp_attach.bin";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string bytes(5700, 'z');  // 100 lines of 57 bytes
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::vector<std::string> encode;
    auto attach_events = [&](TOrbSMTP& smtp) {
        smtp.OnEncodeStart = [&](void*, const std::string& name, std::int64_t bytes) {
            encode.push_back("start " + name + " " + std::to_string(bytes));
        };
        smtp.OnEncodeProgress = [&](void*, std::uint16_t p) {
            encode.push_back(std::to_string(p));
        };
        smtp.OnEncodeEnd = [&](void*) { encode.push_back("end"); };
    };
    {
        SCOPED_TRACE("encoded and sent");
        ScriptedPeer peer(Concat({Greeted(), Accepted(1)}));
        TOrbSMTP smtp;
        attach_events(smtp);
        ConnectTo(smtp, peer);
        TOrbMsg m = SmallMessage();
        m.AttachedFiles.AddFile(path);
        ASSERT_TRUE(smtp.SendMessage(m));
        EXPECT_FALSE(smtp.ErrorFlag);
        smtp.AbortRequested = true;
        smtp.Quit();
        ASSERT_TRUE(peer.WaitDone());
        // Progress comes with whole blocks of 40 lines; the last 20 lines report only 100.
        EXPECT_EQ(encode,
                  (std::vector<std::string>{"start fernlay_smtp_attach.bin 5700", "10", "20", "30",
                                            "40", "50", "60", "70", "80", "100", "end"}));
        EXPECT_EQ(smtp.LastEncodePercent(), 100);
        const auto t = peer.Transcript();
        std::string line;  // Base64 of 57 bytes "z"
        for (int i = 0; i < 19; ++i) line += "enp6";
        EXPECT_EQ(std::count(t.begin(), t.end(), line), 100);
    }
    {
        SCOPED_TRACE("cancelled while encoding");
        encode.clear();
        ScriptedPeer peer(Concat({Greeted(), {Expect("QUIT"), Send("221 bye\r\n")}}));
        TOrbSMTP smtp;
        SmtpRecorder rec;
        rec.Attach(smtp);
        attach_events(smtp);
        smtp.OnEncodeProgress = [&](void*, std::uint16_t) { smtp.AbortRequested = true; };
        ConnectTo(smtp, peer);
        TOrbMsg m = SmallMessage();
        m.AttachedFiles.AddFile(path);
        EXPECT_FALSE(smtp.SendMessage(m));
        EXPECT_EQ(rec.events, std::vector<std::string>{"connect"});
        smtp.AbortRequested = false;
        smtp.Quit();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Transcript().size(), 2u) << "HELO and QUIT only";
    }
    std::remove(path.c_str());
}

TEST(SmtpSend, WriteFailureReachesTheCallerAndEndsTheSession) {
    ScriptedPeer peer(Concat({Greeted(),
                              {Expect(), Send("250 ok\r\n"), Expect(), Send("250 ok\r\n"),
                               Expect("DATA"), Send("354 go\r\n"), Close()}}));
    TOrbSMTP smtp;
    SmtpRecorder rec;
    rec.Attach(smtp);
    ConnectTo(smtp, peer);
    TOrbMsg m = SmallMessage(40);
    EXPECT_THROW(smtp.SendMessage(m), mail::EMailSocketError);
    EXPECT_FALSE(smtp.Connected);
    EXPECT_EQ(rec.events.back(), "quit");
    smtp.Quit();  // nothing left to close
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "quit"), 1);
}

// A reply the client cannot read is reported in words with the reply quoted on one line, never
// as a failed number conversion.
TEST(SmtpSession, UnreadableReplyIsReportedInWords) {
    const std::string words = "The server's reply could not be understood: ";
    const std::string noise(300, 'x');
    struct Case {
        const char* name;
        std::vector<Step> steps;  // after the greeting
        std::string text;
    };
    const std::vector<Case> cases = {
        {"letters after HELO", {Expect(), Send("xyz what\r\n")}, words + "\"xyz what\""},
        {"signed number after MAIL FROM",
         {Expect(), Send("250 hi\r\n"), Expect(), Send("-25 odd\r\n")},
         words + "\"-25 odd\""},
        {"a long line is cut",
         {Expect(), Send("250 hi\r\n"), Expect(), Send("2x5 " + noise + "\r\n")},
         words + "\"2x5 " + noise.substr(0, 76) + "...\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(Concat({{Send("220 ready\r\n")}, c.steps}));
        TOrbSMTP smtp;
        SmtpRecorder rec;
        rec.Attach(smtp);
        ConnectTo(smtp, peer);
        if (smtp.Connected) {
            TOrbMsg m = SmallMessage();
            EXPECT_NO_THROW(smtp.SendMessage(m));
        }
        EXPECT_FALSE(smtp.Connected);
        EXPECT_TRUE(smtp.ErrorFlag);
        EXPECT_EQ(rec.error_code, 0);
        EXPECT_EQ(rec.error_text, c.text);
        ASSERT_TRUE(peer.WaitDone());
    }
}

TEST(SmtpAddresses, ExtractAndSplit) {
    const std::pair<const char*, const char*> extract[] = {
        {"taro@example.jp", "taro@example.jp"},
        {"  Taro Yamada <taro@example.jp> ", "taro@example.jp"},
        {"taro@example.jp (Taro (work))", "taro@example.jp )"},
        {"(a) taro@example.jp (b)", "taro@example.jp"},
        {"x) <y@z.jp> (c", "y@z.jp"},
        {"> backwards <", ""},
    };
    for (const auto& [in, out] : extract) EXPECT_EQ(mail::ExtractAddress(in), out) << in;

    using V = std::vector<std::string>;
    const std::pair<const char*, V> split[] = {
        {"", V{}},
        {"   ", V{}},
        {"A@X.jp", V{"a@x.jp"}},
        {"\"Yamada, Taro\" <Taro@X.jp>, b@y.jp", V{"taro@x.jp", "b@y.jp"}},
        {"a@x.jp,b@y.jp,", V{"a@x.jp", "b@y.jp"}},
        {"\"unclosed <a@x.jp>", V{"a@x.jp"}},
    };
    for (const auto& [in, out] : split) EXPECT_EQ(mail::SplitAddressList(in), out) << in;
}

}  // namespace
