#include "platform/event_pump.h"

#include <utility>

namespace platform {

EventPump& EventPump::Instance() {
    // Never destroyed: an abandoned worker thread may still post after main() has returned.
    static EventPump* pump = new EventPump;
    return *pump;
}

EventPump::Id EventPump::AddTimer(unsigned interval_ms, std::function<void()> callback) {
    if (interval_ms == 0 || !callback) return 0;
    Id id = next_id_++;
    Timer t;
    t.interval = std::chrono::milliseconds(interval_ms);
    t.due = Clock::now() + t.interval;
    t.callback = std::make_shared<std::function<void()>>(std::move(callback));
    timers_.emplace(id, std::move(t));
    return id;
}

void EventPump::CancelTimer(Id id) { timers_.erase(id); }

EventPump::Id EventPump::WatchSocket(int fd, short interest, SocketCallback callback) {
    Id id = next_id_++;
    watches_.emplace(id,
                     Watch{fd, interest, std::make_shared<SocketCallback>(std::move(callback))});
    return id;
}

void EventPump::SetInterest(Id id, short interest) {
    auto it = watches_.find(id);
    if (it != watches_.end()) it->second.interest = interest;
}

void EventPump::UnwatchSocket(Id id) { watches_.erase(id); }

void EventPump::Post(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(posted_mutex_);
    posted_.push_back(std::move(callback));
}

void EventPump::SetUiHook(std::function<void()> hook) { ui_hook_ = std::move(hook); }

void EventPump::FireTimers() {
    auto now = Clock::now();
    std::vector<Id> due;
    for (auto& [id, t] : timers_)
        if (!t.running && t.due <= now) due.push_back(id);
    for (Id id : due) {
        auto it = timers_.find(id);  // an earlier callback may have cancelled it
        if (it == timers_.end() || it->second.running) continue;
        it->second.due = Clock::now() + it->second.interval;
        it->second.running = true;
        auto callback = it->second.callback;
        struct Done {
            EventPump* pump;
            Id id;
            ~Done() {
                auto t = pump->timers_.find(id);
                if (t != pump->timers_.end()) t->second.running = false;
            }
        } done{this, id};
        (*callback)();
    }
}

void EventPump::PollSockets() {
    std::vector<pollfd> fds;
    std::vector<Id> ids;
    for (auto& [id, w] : watches_) {
        if (w.interest == 0) continue;
        fds.push_back(pollfd{w.fd, w.interest, 0});
        ids.push_back(id);
    }
    if (fds.empty()) return;
    if (::poll(fds.data(), fds.size(), 0) <= 0) return;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        auto it = watches_.find(ids[i]);
        // Skip registrations dropped or re-pointed by an earlier callback of this pass.
        if (it == watches_.end() || it->second.fd != fds[i].fd || it->second.interest == 0)
            continue;
        auto callback = it->second.callback;
        (*callback)(fds[i].revents);
    }
}

void EventPump::RunPosted() {
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(posted_mutex_);
        batch.swap(posted_);
    }
    for (auto& f : batch) f();
}

void EventPump::RunOnePass() {
    FireTimers();
    PollSockets();
    RunPosted();
    // The hook (a toolkit's event processing) may itself come back here; don't nest it.
    if (ui_hook_ && !in_hook_) {
        in_hook_ = true;
        auto hook = ui_hook_;
        try {
            hook();
        } catch (...) {
            in_hook_ = false;
            throw;
        }
        in_hook_ = false;
    }
}

}  // namespace platform
