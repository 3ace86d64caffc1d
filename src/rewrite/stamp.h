// The date-time stamp written after each DATETIME marker comment: weekday,
// month/day/two-digit year and a 12-hour time, e.g. "Thursday 7/4/13 3:05 pm".
#pragma once

#include <string>

#include "platform/clock.h"

namespace zorbel {

std::string format_stamp(const BrokenDownTime& time);

}  // namespace zorbel
