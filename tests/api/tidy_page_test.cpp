// The public API: a page in memory comes out as the program leaves the file,
// with what each pass changed and the error, if any.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "zorbel/zorbel.h"

namespace zorbel {
namespace {

const std::string x70(70, 'x');

PageOptions with(void (*set)(PageOptions&)) {
    PageOptions o;
    if (set) set(o);
    return o;
}

struct ApiCase {
    const char* what;
    std::string page;
    void (*set)(PageOptions&);
    std::string bytes;
    bool lines_changed, rewrite_changed;
    PageError error = PageError::kNone;
    std::string message = "";
};

const ApiCase kCases[] = {
    {"both passes", "  <p>\"a\"  \n\n", nullptr, "<p>&#147;a&#148;\r\n", true, true},
    {"line ends alone are no change: the rewrite reads the page's own bytes", "<p>\"a\"\n", nullptr,
     "<p>&#147;a&#148;\n", false, true},
    {"nothing to change", "<p>a</p>\r\n", nullptr, "<p>a</p>\r\n", false, false},
    {"a wrap inside a tag alone keeps the page", "<b " + x70 + " z>\n", nullptr, "<b " + x70 + " z>\n", false,
     false},
    {"-t- skips the line pass", "<p>a  \n", [](PageOptions& o) { o.strip_trailing = false; }, "<p>a  \n", false,
     false},
    {"-c- and -w10", "don't wrap this\n", [](PageOptions& o) { o.cute_quotes = false; o.wrap_margin = 10; },
     "don't wrap\r\nthis\n", false, true},
    {"unbalanced quotes with -p-: the page as the line pass left it", "<p>\"a  \n<p>b\n",
     [](PageOptions& o) { o.reset_quotes_at_para = false; }, "<p>\"a\r\n<p>b\r\n", true, false,
     PageError::kUnbalancedQuotes, "unbalanced quotes in page (try -d option)"},
    {"a DATETIME marker with no tag after it", "<p>\"a\" <!-- $ZBL$:DATETIME -->no tag\n", nullptr,
     "<p>\"a\" <!-- $ZBL$:DATETIME -->no tag\n", false, false, PageError::kVeryLengthy,
     "very lengthy <!-- $ZBL$:DATETIME -->"},
};

TEST(TidyPage, BytesFlagsAndErrors) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const TidiedPage got = tidy_page(c.page, with(c.set));
        EXPECT_EQ(got.bytes, c.bytes);
        EXPECT_EQ(got.lines_changed, c.lines_changed);
        EXPECT_EQ(got.rewrite_changed, c.rewrite_changed);
        EXPECT_EQ(got.error, c.error);
        EXPECT_EQ(got.message, c.message);
    }
}

// Pages tidied in order by one Tidier come out as the files of one run: the
// line-break collapse armed in one page goes on into the next.
TEST(TidyPage, ATidierCarriesStateFromPageToPage) {
    PageOptions options;
    options.collapse_crlf = true;
    options.strip_empty_lines = false;
    Tidier tidier(options);
    Tidier fresh(options);
    const std::string second = "\r\n\r\ntext\r\n";
    (void)tidier.tidy("<p>a\r\n");
    EXPECT_NE(tidier.tidy(second).bytes, fresh.tidy(second).bytes);
}

// The stamp takes the clock given; the fixture page from the program's
// tests comes out as the program writes it.
TEST(TidyPage, SameBytesAsTheProgramOnAnEditorSavedPage) {
    Tidier tidier;
    tidier.set_clock([] { return StampTime{4, 6, 4, 2013, 15, 5}; });
    const std::string page = test::read_file(test::fixture_path("rewrite/editor_saved_page.htm"));
    std::string expected = test::read_file(test::fixture_path("rewrite/editor_saved_page.out.htm"));
    for (std::size_t at; (at = expected.find("{STAMP}")) != std::string::npos;) {
        expected.replace(at, 7, "Thursday 7/4/13 3:05 pm");
    }
    const TidiedPage got = tidier.tidy(page);
    EXPECT_EQ(got.bytes, expected);
    EXPECT_TRUE(got.changed());
}

}  // namespace
}  // namespace zorbel
