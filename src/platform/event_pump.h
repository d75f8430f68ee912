#pragma once
// The process-wide event pump. Blocking network operations run one pass of it at every step
// of their waits, so timers, socket notifications and the screens keep running on the one
// user-interface thread. Headless (tests, benchmarks) there is no UI hook.
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

class EventPump {
public:
    using Id = std::uint64_t;
    // Called with the poll revents (POLLIN, POLLOUT, POLLERR, POLLHUP...) of the watched socket.
    using SocketCallback = std::function<void(short revents)>;

    static EventPump& Instance();

    // One pass: fire due timers, deliver socket readiness (poll with zero time-out over the
    // watched sockets), run callbacks posted from other threads, then the UI hook.
    // Safe to call re-entrantly from inside any callback it runs.
    void RunOnePass();

    // Periodic timer; the first tick comes interval_ms after adding it. Returns 0 when
    // interval_ms is 0 (no timer). A tick never re-enters the same timer's callback.
    Id AddTimer(unsigned interval_ms, std::function<void()> callback);
    void CancelTimer(Id id);

    // Watch a socket for the poll events in `interest` (POLLIN, POLLOUT; errors and hang-ups
    // are always reported). Interest 0 keeps the registration but delivers nothing.
    Id WatchSocket(int fd, short interest, SocketCallback callback);
    void SetInterest(Id id, short interest);
    void UnwatchSocket(Id id);

    // Thread-safe: the callback runs on the pump's thread during the next pass.
    void Post(std::function<void()> callback);

    void SetUiHook(std::function<void()> hook);

    std::size_t TimerCount() const { return timers_.size(); }
    std::size_t WatchCount() const { return watches_.size(); }

private:
    EventPump() = default;
    using Clock = std::chrono::steady_clock;

    struct Timer {
        std::chrono::milliseconds interval;
        Clock::time_point due;
        std::shared_ptr<std::function<void()>> callback;
        bool running = false;
    };
    struct Watch {
        int fd;
        short interest;
        std::shared_ptr<SocketCallback> callback;
    };

    void FireTimers();
    void PollSockets();
    void RunPosted();

    Id next_id_ = 1;
    std::map<Id, Timer> timers_;
    std::map<Id, Watch> watches_;
    std::mutex posted_mutex_;
    std::vector<std::function<void()>> posted_;
    std::function<void()> ui_hook_;
    bool in_hook_ = false;
};

}  // namespace platform
