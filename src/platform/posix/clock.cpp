#include "platform/clock.h"

#include <ctime>

namespace zorbel {

BrokenDownTime local_now() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    BrokenDownTime t;
    t.weekday = tm.tm_wday;
    t.month = tm.tm_mon;
    t.day = tm.tm_mday;
    t.years_since_1900 = tm.tm_year;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    return t;
}

}  // namespace zorbel
