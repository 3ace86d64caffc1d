#include "platform/clock.h"

#include <windows.h>

namespace zorbel {

BrokenDownTime local_now() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    BrokenDownTime t;
    t.weekday = st.wDayOfWeek;  // 0 = Sunday, as the stamp counts
    t.month = st.wMonth - 1;
    t.day = st.wDay;
    t.years_since_1900 = st.wYear - 1900;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    return t;
}

}  // namespace zorbel
