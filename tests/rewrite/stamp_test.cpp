#include <gtest/gtest.h>

#include "rewrite/stamp.h"

namespace zorbel {
namespace {

struct StampCase {
    BrokenDownTime time;  // weekday, month, day, years since 1900, hour, minute
    const char* text;
};

const StampCase kStampCases[] = {
    {{6, 0, 1, 100, 0, 7}, "Saturday 1/1/00 0:07 am"},       // the hour after midnight stays 0
    {{1, 0, 5, 109, 11, 59}, "Monday 1/5/09 11:59 am"},      // two-digit year, no leading zeros
    {{3, 11, 31, 109, 12, 0}, "Wednesday 12/31/09 12:00 pm"},  // noon is 12 pm
    {{4, 6, 4, 113, 13, 5}, "Thursday 7/4/13 1:05 pm"},
    {{0, 9, 28, 124, 23, 59}, "Sunday 10/28/24 11:59 pm"},
};

TEST(Stamp, Layout) {
    for (const auto& c : kStampCases) EXPECT_EQ(format_stamp(c.time), c.text);
}

}  // namespace
}  // namespace zorbel
