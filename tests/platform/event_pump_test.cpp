#include "platform/event_pump.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using platform::EventPump;
using namespace std::chrono_literals;

void PumpFor(std::chrono::milliseconds d) {
    auto end = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < end) {
        EventPump::Instance().RunOnePass();
        std::this_thread::sleep_for(1ms);
    }
}

TEST(EventPump, PeriodicTimerFiresUntilCancelled) {
    auto& pump = EventPump::Instance();
    int ticks = 0;
    auto id = pump.AddTimer(20, [&] { ++ticks; });
    ASSERT_NE(id, 0u);
    PumpFor(110ms);
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 6);
    pump.CancelTimer(id);
    int seen = ticks;
    PumpFor(60ms);
    EXPECT_EQ(ticks, seen);
    EXPECT_EQ(pump.AddTimer(0, [] {}), 0u);
}

TEST(EventPump, TimerCallbackMayPumpAndCancelItselfWithoutReentering) {
    auto& pump = EventPump::Instance();
    int depth = 0, max_depth = 0, ticks = 0;
    EventPump::Id id = 0;
    id = pump.AddTimer(5, [&] {
        ++ticks;
        max_depth = std::max(max_depth, ++depth);
        PumpFor(30ms);  // a blocking operation inside a timer handler
        pump.CancelTimer(id);
        --depth;
    });
    PumpFor(80ms);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(max_depth, 1);
}

TEST(EventPump, SocketReadinessReachesWatcherOnlyWithInterest) {
    auto& pump = EventPump::Instance();
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    short seen = 0;
    int calls = 0;
    auto id = pump.WatchSocket(sv[0], 0, [&](short ev) {
        seen |= ev;
        ++calls;
    });
    ASSERT_EQ(::write(sv[1], "x", 1), 1);
    pump.RunOnePass();
    EXPECT_EQ(calls, 0);  // interest 0 delivers nothing
    pump.SetInterest(id, POLLIN);
    pump.RunOnePass();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(seen & POLLIN);
    pump.UnwatchSocket(id);
    pump.RunOnePass();
    EXPECT_EQ(calls, 1);
    ::close(sv[0]);
    ::close(sv[1]);
}

TEST(EventPump, WatcherRemovedByEarlierCallbackInSamePassIsNotCalled) {
    auto& pump = EventPump::Instance();
    int a[2], b[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, a), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, b), 0);
    ASSERT_EQ(::write(a[1], "x", 1), 1);
    ASSERT_EQ(::write(b[1], "x", 1), 1);
    EventPump::Id first = 0, second = 0;
    int calls = 0;
    first = pump.WatchSocket(a[0], POLLIN, [&](short) {
        ++calls;
        pump.UnwatchSocket(first);
        pump.UnwatchSocket(second);
    });
    second = pump.WatchSocket(b[0], POLLIN, [&](short) {
        ++calls;
        pump.UnwatchSocket(first);
        pump.UnwatchSocket(second);
    });
    pump.RunOnePass();
    EXPECT_EQ(calls, 1);
    for (int fd : {a[0], a[1], b[0], b[1]}) ::close(fd);
}

TEST(EventPump, PostFromWorkerThreadRunsOnNextPassOnPumpThread) {
    auto& pump = EventPump::Instance();
    std::thread::id ran_on;
    bool ran = false;
    std::thread worker([&] {
        pump.Post([&] {
            ran = true;
            ran_on = std::this_thread::get_id();
        });
    });
    worker.join();
    EXPECT_FALSE(ran);
    pump.RunOnePass();
    EXPECT_TRUE(ran);
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(EventPump, UiHookRunsEachPassButNeverNests) {
    auto& pump = EventPump::Instance();
    int calls = 0, depth = 0, max_depth = 0;
    pump.SetUiHook([&] {
        ++calls;
        max_depth = std::max(max_depth, ++depth);
        pump.RunOnePass();  // a toolkit's event processing that pumps again
        --depth;
    });
    pump.RunOnePass();
    pump.RunOnePass();
    pump.SetUiHook(nullptr);
    pump.RunOnePass();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(max_depth, 1);
}

}  // namespace
