#pragma once
// Local time, the local zone's offset and a clock-seeded random source.
#include <cstdint>
#include <ctime>

namespace platform {

struct DateTime {
    int year = 1970;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int dayOfWeek = 4;  // 0 = Sunday
};

DateTime LocalNow();
DateTime LocalTimeOf(std::time_t t);
// Minutes by which local time is ahead of UTC now; 0 when the platform has no zone information.
int ZoneOffsetMinutes();
// A seed that differs between calls in quick succession (nanosecond clock).
std::uint64_t ClockSeed();

}  // namespace platform
