#pragma once
// A rendering session for tests: records the encode events and can request an abort after a
// given number of event-pump passes.
#include <string>
#include <vector>

#include "mail/orb_msg.h"

namespace mail {

struct RecordingSession : RenderSession {
    std::string host = "test.host";
    unsigned step = 10;
    int pumps = 0;
    int abortAfterPumps = -1;  // never
    std::vector<std::string> events;

    std::string LocalHostName() override { return host; }
    bool AbortRequested() override { return abortAfterPumps >= 0 && pumps >= abortAfterPumps; }
    unsigned EncodeProgressStep() override { return step; }
    void EncodeStart(const std::string& name, std::uint64_t bytes) override {
        events.push_back("start " + name + " " + std::to_string(bytes));
    }
    void EncodeProgress(unsigned percent) override {
        events.push_back("progress " + std::to_string(percent));
    }
    void EncodeEnd() override { events.push_back("end"); }
    void PumpEvents() override { ++pumps; }
};

}  // namespace mail
