#include <gtest/gtest.h>

#include "cli/report.h"

namespace zorbel {
namespace {

TEST(Report, NonFatalIsOneLine) {
    StringConsole console;
    report(console, 0, "no x.htm");
    EXPECT_EQ(console.err_text, "no x.htm\n");
}

}  // namespace
}  // namespace zorbel
