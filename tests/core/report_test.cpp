// Messages and fatal exits on the real standard streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/report.h"
#include "support/run_in_child.h"

namespace zorbel {
namespace {

// Runs body in a child process on the real streams, turning FatalExit into
// the exit status. Afterwards the child copies whatever standard input the
// tool left unread to standard output, so a test sees how much the wait took.
test::ProcessResult run_reporting(const std::string& stdin_text, const std::function<void(Console&)>& body) {
    return test::run_in_child(stdin_text, [&] {
        StdConsole console;
        int status = 0;
        try {
            body(console);
        } catch (const FatalExit& exit) {
            status = exit.status;
        }
        console.flush();
        char buf[256];
        for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, stdin)) > 0;) std::fwrite(buf, 1, got, stdout);
        return status;
    });
}

TEST(Report, NonFatalPrintsOneLineAndGoesOn) {
    auto got = run_reporting("left", [](Console& c) {
        report(c, 0, "no x*.htm");
        c.out("after");
    });
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "no x*.htm\n");
    EXPECT_EQ(got.out, "afterleft");  // standard input untouched
}

// A fatal report asks for Enter on the line below and takes one read of at
// most four characters, stopping after a line feed or at end of input.
TEST(Report, FatalWaitsForOneShortRead) {
    const struct { const char* what; std::string input; std::string left; } cases[] = {
        {"standard input empty", "", ""},
        {"just Enter", "\nrest", "rest"},
        {"a short line", "ab\ncdef", "cdef"},
        {"a long line", "0123456789 a long answer\nmore\n", "456789 a long answer\nmore\n"},
        {"four characters and end of input", "abcd", ""},
    };
    for (const auto& c : cases) {
        auto got = run_reporting(c.input, [](Console& con) {
            report(con, 1, "unbalanced quotes in a.htm (try -d option)");
            con.out("not reached");
        });
        EXPECT_EQ(got.status, 1) << c.what;
        EXPECT_EQ(got.err, "unbalanced quotes in a.htm (try -d option)\n (press enter)") << c.what;
        EXPECT_EQ(got.out, c.left) << c.what;
    }
}

// Statuses 3 and 7 end at once: no line feed, no request, no wait.
TEST(Report, OpenAndMemoryFailuresEndAtOnce) {
    auto open = run_reporting("typed ahead\n", [](Console& c) { die_cannot_open(c, "dir/a b.htm", "r"); });
    EXPECT_EQ(open.status, 3);
    EXPECT_EQ(open.err, "couldn't open dir/a b.htm for r.");
    EXPECT_EQ(open.out, "typed ahead\n");

    auto memory = run_reporting("typed ahead\n", [](Console& c) { die(c, kExitNoMemory, "ran out of memory."); });
    EXPECT_EQ(memory.status, 7);
    EXPECT_EQ(memory.err, "ran out of memory.");
    EXPECT_EQ(memory.out, "typed ahead\n");
}

TEST(Report, AllocatedMemoryReadsAsZero) {
    StringConsole console;
    auto block = alloc_or_die(console, 4096);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block.get(), block.get() + 4096, 0), 4096);
    EXPECT_EQ(console.err_text, "");
}

TEST(Report, FormatMessageFillsPlaceholders) {
    EXPECT_EQ(format_message("unbalanced quotes in %s (see %s)", "a.htm", "bad~q~"),
              "unbalanced quotes in a.htm (see bad~q~)");
    EXPECT_EQ(format_message("%u", 4294967291u), "4294967291");
    EXPECT_EQ(format_message("%s", ""), "");
}

}  // namespace
}  // namespace zorbel
