// Address and port rules of the mail transport, and its reads against a scripted peer.
#include <gtest/gtest.h>

#include "mail/mail_transport.h"
#include "peers/scripted_peer.h"
#include "platform/event_pump.h"

namespace {

TEST(MailTransport, DottedAddresses) {
    const std::pair<const char*, bool> cases[] = {
        {"1.2.3.4", true},          {"127.0.0.1", true},  {"0.0.0.0", true},
        {"255.255.255.255", true},  {"1.2.3", false},     {"1.2.3.4.5", false},
        {"256.1.1.1", false},       {"1.2.3.256", false}, {"a.b.c.d", false},
        {"mail.example.jp", false}, {"", false},          {"1..3.4", false},
        {"1.2.3.4 ", false},        {"-1.2.3.4", false},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(mail::IsDottedAddress(text), expected) << text;
}

TEST(MailTransport, PortTextFallsBackWhenNotANumber) {
    EXPECT_EQ(mail::PortNumber("2525", 25), 2525);
    EXPECT_EQ(mail::PortNumber(" 110 ", 25), 110);
    EXPECT_EQ(mail::PortNumber("smtp", 25), 25);
    EXPECT_EQ(mail::PortNumber("", 110), 110);
    EXPECT_EQ(mail::PortNumber("25x", 110), 110);
    EXPECT_EQ(mail::PortNumber("70000", 110), 110);
    EXPECT_EQ(mail::PortNumber("-5", 25), 25);
}

TEST(MailTransport, NotificationsAndEndOfStream) {
    peers::ScriptedPeer peer({peers::Send("hello"), peers::Expect("ping"), peers::Close()});
    mail::TMailSocket sock(100);
    int connects = 0;
    int disconnects = 0;
    sock.OnConnectNotify = [&](mail::TMailSocket* s) {
        EXPECT_EQ(s, &sock);
        ++connects;
    };
    sock.OnDisconnectNotify = [&](mail::TMailSocket*) { ++disconnects; };
    EXPECT_EQ(sock.LocalHostName(), "");  // not open
    sock.Open("127.0.0.1", peer.Port());
    EXPECT_EQ(connects, 1);
    EXPECT_FALSE(sock.LocalHostName().empty());
    ASSERT_TRUE(sock.AwaitData());
    EXPECT_EQ(sock.Read(), "hello");
    sock.SendText("ping\r\n");
    // The peer closes: the wait ends and the read reports the end of the stream.
    ASSERT_TRUE(sock.AwaitData());
    EXPECT_EQ(sock.Read(), "");
    EXPECT_TRUE(sock.PeerClosed());
    sock.Close();
    sock.Close();
    EXPECT_EQ(disconnects, 1);
    EXPECT_FALSE(sock.AwaitData());
    EXPECT_THROW(sock.SendText("x"), mail::EMailSocketError);
    ASSERT_TRUE(peer.WaitDone());
}

TEST(MailTransport, EventsRunWhileWaiting) {
    peers::ScriptedPeer peer({peers::Send("late\r\n", 700)});
    mail::TMailSocket sock(100);
    sock.Open("127.0.0.1", peer.Port());
    int ticks = 0;
    auto& pump = platform::EventPump::Instance();
    const auto timer = pump.AddTimer(50, [&] { ++ticks; });
    ASSERT_TRUE(sock.AwaitData());
    pump.CancelTimer(timer);
    EXPECT_EQ(sock.Read(), "late\r\n");
    EXPECT_GE(ticks, 2) << "the pump ran between the 200 ms polls";
}

TEST(MailTransport, OneReadTakesAtMost1024Bytes) {
    peers::ScriptedPeer peer({peers::Send(std::string(3000, 'x')), peers::Wait(200)});
    mail::TMailSocket sock(100);
    sock.Open("127.0.0.1", peer.Port());
    std::size_t total = 0;
    while (total < 3000) {
        ASSERT_TRUE(sock.AwaitData());
        const std::string chunk = sock.Read();
        EXPECT_LE(chunk.size(), 1024u);
        total += chunk.size();
    }
    EXPECT_EQ(total, 3000u);
}

TEST(MailTransport, PercentRoundsHalvesToEven) {
    EXPECT_EQ(mail::RoundedPercent(1, 3), 33);
    EXPECT_EQ(mail::RoundedPercent(2, 3), 67);
    EXPECT_EQ(mail::RoundedPercent(1, 8), 12);  // 12.5
    EXPECT_EQ(mail::RoundedPercent(3, 8), 38);  // 37.5
    EXPECT_EQ(mail::RoundedPercent(300, 100), 300);
}

}  // namespace
