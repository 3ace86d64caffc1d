// Messages and fatal exits: the error table, and the waits and ends on the
// real standard streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/report.h"
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
        report(c, Error{ErrorKind::kNoMatch, "x*.htm", ""});
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
            report(con, Error{ErrorKind::kUnbalancedQuotes, "a.htm", ""});
            con.out("not reached");
        });
        EXPECT_EQ(got.status, 1) << c.what;
        EXPECT_EQ(got.err, "unbalanced quotes in a.htm (try -d option)\n (press enter)") << c.what;
        EXPECT_EQ(got.out, c.left) << c.what;
    }
}

// Statuses 3 and 7 end at once: no line feed, no request, no wait.
TEST(Report, OpenAndMemoryFailuresEndAtOnce) {
    auto open = run_reporting("typed ahead\n", [](Console& c) { report(c, Error{ErrorKind::kCannotOpen, "dir/a b.htm", "r"}); });
    EXPECT_EQ(open.status, 3);
    EXPECT_EQ(open.err, "couldn't open dir/a b.htm for r.");
    EXPECT_EQ(open.out, "typed ahead\n");

    auto memory = run_reporting("typed ahead\n", [](Console& c) { report(c, Error{ErrorKind::kNoMemory, "", ""}); });
    EXPECT_EQ(memory.status, 7);
    EXPECT_EQ(memory.err, "ran out of memory.");
    EXPECT_EQ(memory.out, "typed ahead\n");
}

// Every kind of error as the user reads it, byte for byte, and the status
// it ends the run with (0: the run goes on).
TEST(ErrorTable, EveryKindHasItsMessageEndingAndStatus) {
    const struct {
        Error error;
        std::string err;
        int status;
    } cases[] = {
        {{ErrorKind::kCannotOpen, "a.htm", "r"}, "couldn't open a.htm for r.", 3},
        {{ErrorKind::kOpenSkipped, "a.htm", ""}, "couldn't open a.htm\n", 0},
        {{ErrorKind::kCannotRead, "a.htm", ""}, "couldn't read a.htm.\n", 3},
        {{ErrorKind::kCannotWrite, "a.htm", ""}, "couldn't write a.htm.\n", 3},
        {{ErrorKind::kCannotReplace, "a.htm", ""}, "couldn't replace a.htm.\n", 3},
        {{ErrorKind::kNoMemory, "", ""}, "ran out of memory.", 7},
        {{ErrorKind::kNoWorkFileName, "", ""}, "Ran out of temp names!?\n (press enter)", 1},
        {{ErrorKind::kUnbalancedQuotes, "a.htm", ""}, "unbalanced quotes in a.htm (try -d option)\n (press enter)", 1},
        {{ErrorKind::kUnbalancedQuotesMap, "a.htm", "bad~q~"}, "unbalanced quotes in a.htm (see bad~q~)\n (press enter)",
         1},
        {{ErrorKind::kVeryLengthy, "a.htm", ""}, "very lengthy <!-- $ZBL$:DATETIME -->\n (press enter)", 1},
        {{ErrorKind::kNoMatch, "x*.htm", ""}, "no x*.htm\n", 0},
    };
    for (const auto& c : cases) {
        StringConsole console;
        console.input = "\n";
        int status = 0;
        try {
            report(console, c.error);
        } catch (const FatalExit& exit) {
            status = exit.status;
        }
        EXPECT_EQ(console.err_text, c.err);
        EXPECT_EQ(status, c.status) << c.err;
        EXPECT_EQ(console.out_text, "");
    }
    // A path with a percent sign is text, not a format.
    EXPECT_EQ(error_message(Error{ErrorKind::kCannotRead, "100%s.htm", ""}), "couldn't read 100%s.htm.");
}

TEST(Report, FormatMessageFillsPlaceholders) {
    EXPECT_EQ(format_message("unbalanced quotes in %s (see %s)", "a.htm", "bad~q~"),
              "unbalanced quotes in a.htm (see bad~q~)");
    EXPECT_EQ(format_message("%u", 4294967291u), "4294967291");
    EXPECT_EQ(format_message("%s", ""), "");
}

}  // namespace
}  // namespace zorbel
