#pragma once
// TThreadTimer: a periodic timer on the process-wide event pump. Any change of Enabled,
// Interval or OnTimer re-arms it; it ticks only while Enabled, Interval > 0 and OnTimer is set.
#include <functional>

#include "platform/event_pump.h"

namespace ftp {

class TThreadTimer {
public:
    using TNotifyEvent = std::function<void(TThreadTimer* sender)>;

    TThreadTimer() = default;
    ~TThreadTimer();
    TThreadTimer(const TThreadTimer&) = delete;
    TThreadTimer& operator=(const TThreadTimer&) = delete;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned ms);
    void SetOnTimer(TNotifyEvent handler);

private:
    void Rearm();
    void Tick();

    bool enabled_ = true;
    unsigned interval_ = 1000;
    TNotifyEvent on_timer_;
    platform::EventPump::Id id_ = 0;
};

}  // namespace ftp
