#include "ftp/thread_timer.h"

#include <cstdio>
#include <exception>

#include "platform/error.h"

namespace ftp {

TThreadTimer::~TThreadTimer() {
    enabled_ = false;
    Rearm();
}

void TThreadTimer::SetEnabled(bool on) {
    enabled_ = on;
    Rearm();
}

void TThreadTimer::SetInterval(unsigned ms) {
    interval_ = ms;
    Rearm();
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler) {
    on_timer_ = std::move(handler);
    Rearm();
}

void TThreadTimer::Rearm() {
    auto& pump = platform::EventPump::Instance();
    if (id_) pump.CancelTimer(id_);
    id_ = 0;
    if (interval_ != 0 && enabled_ && on_timer_) {
        id_ = pump.AddTimer(interval_, [this] { Tick(); });
        if (!id_) throw platform::Error("No Timer");
    }
}

void TThreadTimer::Tick() {
    // A handler's exception goes to the reporting of the application, never up the pump.
    try {
        auto handler = on_timer_;
        if (handler) handler(this);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "timer handler: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "timer handler: unknown exception\n");
    }
}

}  // namespace ftp
