#pragma once
// A test that needs a real local server skips when the server cannot be started here,
// except under FERNLAY_REQUIRE_SERVERS=1 (set by CI), where it fails instead.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#define FERNLAY_SERVER_UNAVAILABLE(why)                                  \
    do {                                                                 \
        const char* required_ = std::getenv("FERNLAY_REQUIRE_SERVERS");  \
        if (required_ && std::string(required_) == "1") {                \
            FAIL() << "required server could not be started: " << (why); \
        }                                                                \
        GTEST_SKIP() << "server not available here: " << (why);          \
    } while (0)
