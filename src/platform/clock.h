// The wall clock, broken down into local time.
#pragma once

namespace zorbel {

struct BrokenDownTime {
    int weekday = 0;          // 0 = Sunday .. 6
    int month = 0;            // 0 .. 11
    int day = 1;              // 1 .. 31
    int years_since_1900 = 0;
    int hour = 0;             // 0 .. 23
    int minute = 0;           // 0 .. 59
};

// The current time in the machine's local time zone.
BrokenDownTime local_now();

}  // namespace zorbel
