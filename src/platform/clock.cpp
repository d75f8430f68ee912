#include "platform/clock.h"

#include <time.h>

#include <chrono>

namespace platform {

DateTime LocalTimeOf(std::time_t t) {
    struct tm tmv {};
    DateTime d;
    if (localtime_r(&t, &tmv) == nullptr) return d;
    d.year = tmv.tm_year + 1900;
    d.month = tmv.tm_mon + 1;
    d.day = tmv.tm_mday;
    d.hour = tmv.tm_hour;
    d.minute = tmv.tm_min;
    d.second = tmv.tm_sec;
    d.dayOfWeek = tmv.tm_wday;
    return d;
}

DateTime LocalNow() { return LocalTimeOf(std::time(nullptr)); }

int ZoneOffsetMinutes() {
    tzset();
    const std::time_t t = std::time(nullptr);
    struct tm tmv {};
    if (localtime_r(&t, &tmv) == nullptr) return 0;
    return static_cast<int>(tmv.tm_gmtoff / 60);
}

std::uint64_t ClockSeed() {
    return static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
}

}  // namespace platform
