#include "rewrite/stamp.h"

#include <cstdio>

namespace zorbel {

namespace {
const char* const kWeekdays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
}  // namespace

std::string format_stamp(const BrokenDownTime& time) {
    // The hour after midnight stays 0 ("0:07 am"), noon stays 12, and the
    // afternoon hours count from 1 again.
    unsigned hour = static_cast<unsigned>(time.hour);
    const char* suffix = "am";
    if (time.hour == 12) {
        suffix = "pm";
    } else if (time.hour > 12) {
        suffix = "pm";
        hour -= 12;
    }
    const char* weekday = time.weekday >= 0 && time.weekday < 7 ? kWeekdays[time.weekday] : "";
    // 96 bytes: a real stamp has at most 27 characters; even fields out of
    // their range (ten digits each) fit without being cut.
    char buf[96];
    int n = std::snprintf(buf, sizeof buf, "%s %u/%u/%02u %u:%02u %s", weekday,
                          static_cast<unsigned>(time.month + 1), static_cast<unsigned>(time.day),
                          static_cast<unsigned>(time.years_since_1900 % 100), hour,
                          static_cast<unsigned>(time.minute), suffix);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

}  // namespace zorbel
