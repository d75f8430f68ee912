// The POP3 component against scripted servers: log-in, counting, retrieval with the end mark
// in odd places, dot-stuffed lines, refusals with their codes and a server that goes away.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "mail/orb_pop.h"
#include "mail/orb_util.h"
#include "peers/scripted_peer.h"
#include "platform/net_error.h"

namespace {

using namespace peers;
using mail::TOrbMsg;
using mail::TOrbMsgList;
using mail::TOrbPOP;

struct PopRecorder {
    std::vector<std::string> events;
    std::vector<int> retrieve_progress;
    int error_code = 0;
    std::string error_text;

    void Attach(TOrbPOP& pop) {
        pop.OnConnect = [this](void*) { events.push_back("connect"); };
        pop.OnQuit = [this](void*) { events.push_back("quit"); };
        pop.OnError = [this](void*, int code, const std::string& msg) {
            events.push_back("error " + std::to_string(code));
            error_code = code;
            error_text = msg;
        };
        pop.OnBeforeRetrieve = [this](void*, int n) {
            events.push_back("before " + std::to_string(n));
        };
        pop.OnAfterRetrieve = [this](void*) { events.push_back("after"); };
        pop.OnRetrieveProgress = [this](void*, std::uint16_t p) { retrieve_progress.push_back(p); };
    }
};

void ConnectTo(TOrbPOP& pop, const ScriptedPeer& peer) {
    pop.Host = "127.0.0.1";
    pop.Port = std::to_string(peer.Port());
    pop.UserId = "taro";
    pop.Passwd = "secret";
    pop.Connect();
}

std::vector<Step> LoggedIn() {
    return {Send("+OK POP3 ready\r\n"), Expect("USER taro"), Send("+OK\r\n"), Expect("PASS secret"),
            Send("+OK logged in\r\n")};
}

std::vector<Step> Concat(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const std::string kMessage =
    "From: Taro <taro@example.jp>\r\n"
    "To: hanako@example.jp\r\n"
    "Subject: dots\r\n"
    "\r\n"
    "first\r\n"
    "..\r\n"
    "...two\r\n"
    "..\r\n";

// The RETR reply (status line, stuffed message, terminator) delivered in different pieces.
TEST(PopRetrieve, EndMarkFoundWhateverTheReadsAre) {
    const std::string reply = "+OK 97 octets\r\n" + kMessage + ".\r\n";
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"one read", {Send(reply)}},
        {"terminator alone in its own read",
         {Send("+OK 97 octets\r\n" + kMessage), Send(".\r\n", 80)}},
        {"end mark split after its CR LF .",
         {Send(reply.substr(0, reply.size() - 2)), Send("\r\n", 80)}},
        {"end mark split after its CR",
         {Send(reply.substr(0, reply.size() - 4)), Send("\n.\r\n", 80)}},
        {"status line alone, then pieces of 5",
         {Send("+OK 97 octets\r\n"), SendSplit(kMessage + ".\r\n", 5, 3)}},
        {"status line split", {SendSplit(reply, 2, 3)}},
    };
    // Kept and parsed, or read to the end and dropped (only a few bytes held across reads).
    for (const bool drop : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (drop ? ", dropped" : ", kept"));
            ScriptedPeer peer(Concat({LoggedIn(),
                                      {Expect("LIST 1"), Send("+OK 1 97\r\n"), Expect("RETR 1")},
                                      c.steps,
                                      {Expect("QUIT"), Send("+OK bye\r\n")}}));
            TOrbPOP pop;
            ConnectTo(pop, peer);
            ASSERT_TRUE(pop.Login());
            if (drop) {
                pop.MessageCount = 1;
                EXPECT_EQ(pop.RetrieveAndDiscardAll(), 1);
                EXPECT_EQ(pop.OwnedMessageCount(), 0u);
            } else {
                TOrbMsg* m = pop.RetrieveMessage(1);
                ASSERT_NE(m, nullptr);
                EXPECT_EQ(m->Subject, "dots");
                EXPECT_EQ(m->Size, 97);
                EXPECT_EQ(m->Text, (std::vector<std::string>{"first", ".", "..two", "."}));
                EXPECT_EQ(m->RawHeader.size(), 3u);
            }
            pop.Quit();
            EXPECT_FALSE(pop.ErrorFlag) << pop.StatusText;
            EXPECT_FALSE(pop.Connected);
            ASSERT_TRUE(peer.WaitDone());
            EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
        }
    }
}

TEST(PopRetrieve, DecodeEventsFormatErrorAndCancel) {
    const std::string attached =
        "+OK\r\nSubject: a\r\nContent-Type: application/octet-stream; name=\"x.bin\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nYWJj\r\nZGVm\r\n.\r\n";
    const std::string broken = "+OK\r\nSubject: b\r\n\r\nbegin 644 y.bin\r\nM\x01\r\nend\r\n.\r\n";
    ScriptedPeer peer(Concat(
        {LoggedIn(),
         {Expect("LIST 1"), Send("+OK 1 100\r\n"), Expect("RETR 1"), Send(attached),
          Expect("LIST 2"), Send("+OK 2 60\r\n"), Expect("RETR 2"), Send(broken), Expect("LIST 3"),
          Send("+OK 3 9000\r\n"), Expect("RETR 3"), Send("+OK\r\nSubject: long\r\n\r\n"),
          Send(std::string(3000, 'x'), 50), Wait(300)}}));
    TOrbPOP pop;
    std::vector<std::string> events;
    pop.OnDecodeStart = [&](void* sender, const std::string& name, std::int64_t lines) {
        EXPECT_EQ(sender, &pop);
        events.push_back("start " + name + " " + std::to_string(lines));
    };
    pop.OnDecodeProgress = [&](void*, std::uint16_t p) { events.push_back(std::to_string(p)); };
    pop.OnDecodeEnd = [&](void*) { events.push_back("end"); };
    pop.ErrorInFormatOfMsg = "broken uuencode";
    ConnectTo(pop, peer);
    ASSERT_TRUE(pop.Login());

    TOrbMsg* m = pop.RetrieveMessage(1);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->AttachedFiles.Count(), 1);
    EXPECT_EQ(m->AttachedFiles[0].Data, "abcdef");
    EXPECT_EQ(events, (std::vector<std::string>{"start x.bin 2", "50", "100", "end"}));

    try {
        pop.RetrieveMessage(2);
        ADD_FAILURE() << "not raised";
    } catch (const mail::EUudecodeError& e) {
        EXPECT_STREQ(e.what(), "broken uuencode");
    }

    // Cancelled while the data arrives: no message, the session stays.
    pop.OnRetrieveProgress = [&](void*, std::uint16_t) { pop.AbortRequested = true; };
    EXPECT_EQ(pop.RetrieveMessage(3), nullptr);
    EXPECT_TRUE(pop.Connected);
}

TEST(PopSession, CountRetrieveAllAndQuit) {
    const std::string second = "Subject: second\r\n\r\nbody\r\n";
    ScriptedPeer peer(
        Concat({LoggedIn(),
                {Expect("STAT"), Send("+OK 2 320\r\n"), Expect("LAST"), Send("+OK 1\r\n"),
                 // First message: LIST without a size; arrives in pieces.
                 Expect("LIST 1"), Send("+OK 1\r\n"), Expect("RETR 1"),
                 SendSplit("+OK\r\n" + kMessage + ".\r\n", 40, 20), Expect("LIST 2"),
                 Send("+OK 2 26\r\n"), Expect("RETR 2"), Send("+OK\r\n" + second + ".\r\n"),
                 Expect("QUIT"), Send("+OK bye\r\n")}}));
    TOrbPOP pop;
    PopRecorder rec;
    rec.Attach(pop);
    ConnectTo(pop, peer);
    EXPECT_FALSE(pop.ErrorFlag);
    ASSERT_TRUE(pop.Login());
    EXPECT_TRUE(pop.LoggedIn);
    EXPECT_EQ(pop.CountNewMessages(), 1);
    EXPECT_EQ(pop.MessageCount, 2);
    EXPECT_TRUE(pop.LastSucceeded);
    TOrbMsgList list;
    EXPECT_EQ(pop.RetrieveAll(list), 2);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0]->Subject, "dots");
    EXPECT_EQ(list[0]->Size, 100);  // no size in the LIST reply
    EXPECT_EQ(list[1]->Subject, "second");
    EXPECT_EQ(list[1]->Text, (std::vector<std::string>{"body"}));
    pop.Quit();
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_TRUE(peer.Errors().empty());
    EXPECT_EQ(rec.events, (std::vector<std::string>{"connect", "before 1", "after", "before 2",
                                                    "after", "quit"}));
    // Progress against 100 octets goes past 100; the second message came in one read.
    ASSERT_GE(rec.retrieve_progress.size(), 2u);
    EXPECT_GT(rec.retrieve_progress[rec.retrieve_progress.size() - 2], 100);
    EXPECT_EQ(rec.retrieve_progress.back(), 100);
}

// POP before SMTP reads every message as RetrieveAll does (the server sees the same commands,
// the caller the same retrieve events) but keeps none of them.
TEST(PopSession, DiscardingRetrievalSpeaksLikeRetrieveAllAndKeepsNothing) {
    const std::vector<Step> script =
        Concat({LoggedIn(),
                {Expect("STAT"), Send("+OK 3 320\r\n"), Expect("LAST"), Send("-ERR no LAST\r\n"),
                 Expect("LIST 1"), Send("+OK 1 100\r\n"), Expect("RETR 1"),
                 SendSplit("+OK\r\n" + kMessage + ".\r\n", 40, 20), Expect("LIST 2"),
                 Send("+OK 2 26\r\n"), Expect("RETR 2"),
                 Send("+OK\r\nSubject: s\r\n\r\nb\r\n.\r\n"), Expect("LIST 3"), Send("+OK 3 8\r\n"),
                 Expect("RETR 3"), Send("+OK\r\n.\r\n"), Expect("QUIT"), Send("+OK bye\r\n")}});
    std::vector<std::string> transcripts[2];
    PopRecorder recorders[2];
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "dropped" : "kept");
        ScriptedPeer peer(script);
        TOrbPOP pop;
        recorders[drop].Attach(pop);
        ConnectTo(pop, peer);
        ASSERT_TRUE(pop.Login());
        pop.CountNewMessages();
        TOrbMsgList list;
        EXPECT_EQ(drop ? pop.RetrieveAndDiscardAll() : pop.RetrieveAll(list), 3);
        EXPECT_EQ(pop.OwnedMessageCount(), drop ? 0u : 3u);
        pop.Quit();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
        transcripts[drop] = peer.Transcript();
    }
    EXPECT_EQ(transcripts[1], transcripts[0]);
    EXPECT_EQ(recorders[1].events, recorders[0].events);
    EXPECT_EQ(recorders[1].retrieve_progress, recorders[0].retrieve_progress);
}

// STLS refused, and a server that hangs up in the TLS handshake: nothing is sent in clear
// after the greeting and STLS.
TEST(PopSession, TlsRefusedOrBrokenSendsNoCredentials) {
    auto dropHandshake = Custom([](PeerConnection& conn) {
        char buf[512];
        ::recv(conn.fd(), buf, sizeof buf, 0);
        ::shutdown(conn.fd(), SHUT_RDWR);
    });
    struct Case {
        const char* name;
        mail::TMailSecurity security;
        std::vector<Step> steps;
        bool throws;
    };
    const std::vector<Case> cases = {
        {"STLS refused",
         mail::TMailSecurity::StartTls,
         {Send("+OK ready\r\n"), Expect("STLS"), Send("-ERR not here\r\n")},
         false},
        {"STLS, then no handshake",
         mail::TMailSecurity::StartTls,
         {Send("+OK ready\r\n"), Expect("STLS"), Send("+OK begin TLS\r\n"), dropHandshake},
         true},
        {"implicit TLS, no handshake", mail::TMailSecurity::Implicit, {dropHandshake}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(c.steps);
        TOrbPOP pop;
        PopRecorder rec;
        rec.Attach(pop);
        pop.Security = c.security;
        if (c.throws) {
            EXPECT_THROW(ConnectTo(pop, peer), platform::NetError);
        } else {
            ConnectTo(pop, peer);
            EXPECT_EQ(rec.error_code, TOrbPOP::kStlsRefused);
        }
        EXPECT_TRUE(pop.ErrorFlag);
        EXPECT_FALSE(pop.Connected);
        EXPECT_THROW(pop.Login(), mail::EPopError);
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Transcript(),
                  (c.security == mail::TMailSecurity::StartTls ? std::vector<std::string>{"STLS"}
                                                               : std::vector<std::string>{}));
    }
}

TEST(PopSession, LastRefusedAndEmptyMailbox) {
    {
        SCOPED_TRACE("LAST answered -ERR");
        ScriptedPeer peer(
            Concat({LoggedIn(),
                    {Expect("STAT"), Send("+OK 1 30\r\n"), Expect("LAST"),
                     Send("-ERR unknown command\r\n"), Expect("LIST 1"), Send("+OK 1 30\r\n"),
                     Expect("RETR 1"), Send("+OK\r\nSubject: x\r\n\r\ny\r\n.\r\n"), Expect("QUIT"),
                     Send("+OK\r\n")}}));
        TOrbPOP pop;
        ConnectTo(pop, peer);
        ASSERT_TRUE(pop.Login());
        EXPECT_EQ(pop.CountNewMessages(), 0);
        EXPECT_EQ(pop.MessageCount, 1);
        EXPECT_TRUE(pop.ErrorFlag);
        EXPECT_FALSE(pop.LastSucceeded);
        EXPECT_TRUE(pop.Connected);
        TOrbMsgList list;
        EXPECT_EQ(pop.RetrieveAll(list), 1);
        pop.Quit();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_TRUE(peer.Errors().empty());
    }
    {
        SCOPED_TRACE("empty mailbox");
        ScriptedPeer peer(Concat({LoggedIn(),
                                  {Expect("STAT"), Send("+OK 0 0\r\n"), Expect("LAST"),
                                   Send("+OK 0\r\n"), Expect("QUIT"), Send("+OK\r\n")}}));
        TOrbPOP pop;
        ConnectTo(pop, peer);
        ASSERT_TRUE(pop.Login());
        EXPECT_EQ(pop.CountNewMessages(), 0);
        TOrbMsgList list;
        EXPECT_EQ(pop.RetrieveAll(list), 0);
        pop.Quit();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Transcript(),
                  (std::vector<std::string>{"USER taro", "PASS secret", "STAT", "LAST", "QUIT"}));
    }
}

TEST(PopSession, RefusalsCarryTheirCodes) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int code;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"greeting -ERR", {Send("-ERR go away\r\n")}, 2000, "go away"},
        {"USER refused",
         {Send("+OK\r\n"), Expect("USER taro"), Send("-ERR no such user\r\n")},
         2001,
         "no such user"},
        {"PASS refused",
         {Send("+OK\r\n"), Expect(), Send("+OK\r\n"), Expect(), Send("-ERR bad password\r\n")},
         2001,
         "bad password"},
        {"STAT refused", Concat({LoggedIn(), {Expect("STAT"), Send("-ERR locked\r\n")}}), 2006,
         "locked"},
        {"RETR refused",
         Concat(
             {LoggedIn(),
              {Expect("STAT"), Send("+OK 2 20\r\n"), Expect("LAST"), Send("+OK 0\r\n"),
               Expect("LIST 1"), Send("+OK 1 10\r\n"), Expect("RETR 1"), Send("-ERR gone\r\n")}}),
         2004, "gone"},
        {"closed while RETR data is awaited",
         Concat({LoggedIn(),
                 {Expect("STAT"), Send("+OK 2 20\r\n"), Expect("LAST"), Send("+OK 0\r\n"),
                  Expect("LIST 1"), Send("+OK 1 10\r\n"), Expect("RETR 1"),
                  Send("+OK\r\nSubject: half\r\n"), Close()}}),
         2004, TOrbPOP::kClosedStatusText},
        {"closed while the STAT reply is awaited", Concat({LoggedIn(), {Expect("STAT"), Close()}}),
         2006, TOrbPOP::kClosedStatusText},
        {"silent while the STAT reply is awaited",
         Concat({LoggedIn(), {Expect("STAT"), Silent(800)}}), 2006, TOrbPOP::kSilentStatusText},
        {"QUIT refused",
         Concat({LoggedIn(),
                 {Expect("STAT"), Send("+OK 0 0\r\n"), Expect("LAST"), Send("+OK 0\r\n"),
                  Expect("QUIT"), Send("-ERR not now\r\n")}}),
         2002, "not now"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(c.steps);
        TOrbPOP pop;
        pop.IdleLimitMs = 300;
        PopRecorder rec;
        rec.Attach(pop);
        ConnectTo(pop, peer);
        if (pop.Connected && pop.Login()) {
            pop.CountNewMessages();
            if (pop.Connected) {
                TOrbMsgList list;
                try {
                    pop.RetrieveAll(list);
                    EXPECT_EQ(c.code, 2002);
                } catch (const mail::EPopError& e) {
                    // The refused message ends the session; the next one finds it closed.
                    EXPECT_STREQ(e.what(), "Not connected.");
                    ASSERT_EQ(list.Count(), 1);  // the refused one, as none
                    EXPECT_EQ(list[0], nullptr);
                }
            }
            pop.Quit();
        }
        EXPECT_TRUE(pop.ErrorFlag);
        EXPECT_FALSE(pop.Connected);
        EXPECT_EQ(rec.error_code, c.code);
        EXPECT_EQ(rec.error_text, c.text);
        ASSERT_GE(rec.events.size(), 3u);
        EXPECT_EQ(rec.events[rec.events.size() - 2], "quit");
        EXPECT_EQ(rec.events.back(), "error " + std::to_string(c.code));
        ASSERT_TRUE(peer.WaitDone());
    }
}

TEST(PopSession, LineBreaksAndNulInCredentialsAreRefusedBeforeSending) {
    const std::pair<std::string, std::string> cases[] = {
        {"taro\r\nDELE 1", "secret"},
        {"taro", "secret\nDELE 1"},
        {"taro\r", "secret"},
        {"taro", std::string("sec\0ret", 7)},
    };
    for (const auto& [user, pass] : cases) {
        ScriptedPeer peer({Send("+OK ready\r\n"), Expect("QUIT"), Send("+OK\r\n")});
        TOrbPOP pop;
        ConnectTo(pop, peer);
        pop.UserId = user;
        pop.Passwd = pass;
        EXPECT_THROW(pop.Login(), mail::EMailArgumentError);
        EXPECT_TRUE(pop.Connected);
        pop.Quit();
        ASSERT_TRUE(peer.WaitDone());
        EXPECT_EQ(peer.Transcript(), std::vector<std::string>{"QUIT"});
    }
    TOrbPOP idle;
    try {
        idle.Login();
        ADD_FAILURE() << "not refused";
    } catch (const mail::EPopError& e) {
        EXPECT_STREQ(e.what(), "Invalid Op. Not connected.");
    }
    EXPECT_THROW(idle.RetrieveMessage(1), mail::EPopError);
}

TEST(PopSession, RetrieveAllReleasesThePreviousRun) {
    std::vector<Step> session = {Send("+OK\r\n"),       Expect("USER taro"), Send("+OK\r\n"),
                                 Expect("PASS secret"), Send("+OK\r\n"),     Expect("STAT"),
                                 Send("+OK 2 40\r\n"),  Expect("LAST"),      Send("-ERR\r\n")};
    for (int n = 1; n <= 2; ++n) {
        session.push_back(Expect("LIST " + std::to_string(n)));
        session.push_back(Send("+OK " + std::to_string(n) + " 20\r\n"));
        session.push_back(Expect("RETR " + std::to_string(n)));
        session.push_back(Send("+OK\r\nSubject: m" + std::to_string(n) + "\r\n\r\nx\r\n.\r\n"));
    }
    session.push_back(Expect("QUIT"));
    session.push_back(Send("+OK\r\n"));
    std::vector<Step> steps = session;
    steps.push_back(AcceptNext());
    steps.insert(steps.end(), session.begin(), session.end());

    ScriptedPeer peer(steps);
    TOrbPOP pop;
    TOrbMsgList list;
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ConnectTo(pop, peer);
        ASSERT_TRUE(pop.Login());
        pop.CountNewMessages();
        EXPECT_EQ(pop.RetrieveAll(list), 2);
        EXPECT_EQ(list[1]->Subject, "m2");
        EXPECT_EQ(pop.OwnedMessageCount(), 2u);
        pop.Quit();
    }
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_TRUE(peer.Errors().empty());
}

TEST(PopSession, HeaderOnlyRetrievalUsesTop) {
    ScriptedPeer peer(Concat({LoggedIn(),
                              {Expect("LIST 3"), Send("+OK 3 50\r\n"), Expect("TOP 3 0"),
                               Send("+OK\r\nSubject: only the head\r\n\r\n.\r\n")}}));
    TOrbPOP pop;
    ConnectTo(pop, peer);
    ASSERT_TRUE(pop.Login());
    TOrbMsg* m = pop.RetrieveHeader(3);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Subject, "only the head");
    EXPECT_TRUE(m->Text.empty());
}

}  // namespace
