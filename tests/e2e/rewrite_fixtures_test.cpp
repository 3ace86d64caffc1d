// The built program on small pages, one behaviour each, and on one
// realistic editor-saved page: the resulting files (the page, its backup, any
// work file or map), standard output, standard error and the exit status.
// Fixtures live in tests/fixtures/rewrite: NAME.htm is a page as it goes in,
// NAME.out.htm the page as it must come out. The date-time stamp depends on
// the clock; in an expected page it stands as {STAMP}.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace zorbel {
namespace {

using test::list_dir;
using test::read_file;

std::string fixture(const std::string& name) { return read_file(test::fixture_path("rewrite/" + name)); }

bool is_digits(const std::string& s, std::size_t min, std::size_t max) {
    if (s.size() < min || s.size() > max) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// "Thursday 7/4/13 3:05 pm": weekday, month/day/two-digit year, hour:minute, am or pm.
bool looks_like_stamp(const std::string& text) {
    static const std::vector<std::string> weekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                      "Thursday", "Friday", "Saturday"};
    std::vector<std::string> words;
    std::size_t start = 0;
    for (std::size_t blank; (blank = text.find(' ', start)) != std::string::npos; start = blank + 1) {
        words.push_back(text.substr(start, blank - start));
    }
    words.push_back(text.substr(start));
    if (words.size() != 4) return false;
    if (std::find(weekdays.begin(), weekdays.end(), words[0]) == weekdays.end()) return false;
    std::size_t slash1 = words[1].find('/'), slash2 = words[1].rfind('/'), colon = words[2].find(':');
    if (slash1 == std::string::npos || slash1 == slash2 || colon == std::string::npos) return false;
    const std::string& date = words[1];
    const std::string& time = words[2];
    return is_digits(date.substr(0, slash1), 1, 2) && is_digits(date.substr(slash1 + 1, slash2 - slash1 - 1), 1, 2) &&
           is_digits(date.substr(slash2 + 1), 2, 2) && is_digits(time.substr(0, colon), 1, 2) &&
           is_digits(time.substr(colon + 1), 2, 2) && (words[3] == "am" || words[3] == "pm");
}

// Each stamp after a DATETIME marker becomes {STAMP} when it has the
// stamp's layout; anything else is left for the comparison to show.
std::string mask_stamps(std::string text) {
    const std::string marker = "<!-- $ZBL$:DATETIME -->";
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        std::size_t begin = at + marker.size();
        std::size_t end = text.find('<', begin);
        if (end == std::string::npos) break;
        if (looks_like_stamp(text.substr(begin, end - begin))) text.replace(begin, end - begin, "{STAMP}");
    }
    return text;
}

// A file expected in the scratch directory afterwards, with the fixture
// that holds its content.
struct Result {
    std::string name;
    std::string content_fixture;
};

struct PageCase {
    const char* what;
    std::vector<std::string> pages;  // fixtures copied in under their own names
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
    std::vector<Result> files;  // everything in the directory afterwards
};

const std::string kPressEnter = "\n (press enter)";

const PageCase kPageCases[] = {
    {"quotes alternate in all four forms and restart at <P>", {"quotes.htm"}, {"quotes.htm"}, 0,
     "Updated quotes.htm\n", "", {{"quotes.b~k", "quotes.htm"}, {"quotes.htm", "quotes.out.htm"}}},
    {"with -p- they run on across paragraphs", {"quotes.htm"}, {"-p-", "quotes.htm"}, 0, "Updated quotes.htm\n", "",
     {{"quotes.b~k", "quotes.htm"}, {"quotes.htm", "quotes_no_reset.out.htm"}}},
    {"apostrophes and &nbsp;", {"apostrophes_nbsp.htm"}, {"apostrophes_nbsp.htm"}, 0,
     "Updated apostrophes_nbsp.htm\n", "",
     {{"apostrophes_nbsp.b~k", "apostrophes_nbsp.htm"}, {"apostrophes_nbsp.htm", "apostrophes_nbsp.out.htm"}}},
    {"-n- keeps &nbsp;", {"apostrophes_nbsp.htm"}, {"-n-", "apostrophes_nbsp.htm"}, 0,
     "Updated apostrophes_nbsp.htm\n", "",
     {{"apostrophes_nbsp.b~k", "apostrophes_nbsp.htm"}, {"apostrophes_nbsp.htm", "apostrophes_keep_nbsp.out.htm"}}},
    {"-c- keeps quotes, apostrophes and &nbsp;", {"apostrophes_nbsp.htm"}, {"-c-", "apostrophes_nbsp.htm"}, 0, "", "",
     {{"apostrophes_nbsp.htm", "apostrophes_nbsp.htm"}}},
    {"a blank in column 70 stays, one in 71 breaks, a second blank stays", {"wrap_margin.htm"},
     {"wrap_margin.htm"}, 0, "Updated wrap_margin.htm\n", "",
     {{"wrap_margin.b~k", "wrap_margin.htm"}, {"wrap_margin.htm", "wrap_margin.out.htm"}}},
    {"-w40", {"wrap_margin.htm"}, {"-w40", "wrap_margin.htm"}, 0, "Updated wrap_margin.htm\n", "",
     {{"wrap_margin.b~k", "wrap_margin.htm"}, {"wrap_margin.htm", "wrap_margin_40.out.htm"}}},
    {"a wrap inside a tag alone leaves the page untouched", {"wrap_in_tags_only.htm"}, {"wrap_in_tags_only.htm"}, 0,
     "", "", {{"wrap_in_tags_only.htm", "wrap_in_tags_only.htm"}}},
    {"with another change the tag is wrapped, never inside a quoted value", {"wrap_in_tags_and_text.htm"},
     {"wrap_in_tags_and_text.htm"}, 0, "Updated wrap_in_tags_and_text.htm\n", "",
     {{"wrap_in_tags_and_text.b~k", "wrap_in_tags_and_text.htm"},
      {"wrap_in_tags_and_text.htm", "wrap_in_tags_and_text.out.htm"}}},
    {"script, style and UNCURLY regions are left alone", {"raw_regions.htm"}, {"raw_regions.htm"}, 0,
     "Updated raw_regions.htm\n", "",
     {{"raw_regions.b~k", "raw_regions.htm"}, {"raw_regions.htm", "raw_regions.out.htm"}}},
    {"tags read inside script and style content never wrap", {"script_in_comment.htm"}, {"script_in_comment.htm"}, 0,
     "Updated script_in_comment.htm\n", "",
     {{"script_in_comment.b~k", "script_in_comment.htm"},
      {"script_in_comment.htm", "script_in_comment.out.htm"}}},
    {"no wrap up to the next <p>; the anchor blank moves, one of two", {"nowrap_anchor.htm"}, {"nowrap_anchor.htm"},
     0, "Updated nowrap_anchor.htm\n", "",
     {{"nowrap_anchor.b~k", "nowrap_anchor.htm"}, {"nowrap_anchor.htm", "nowrap_anchor.out.htm"}}},
    {"-e removes extra line breaks from the first <p> on, and into the next file",
     {"collapse_first.htm", "collapse_second.htm"}, {"-e", "-u-", "collapse_first.htm", "collapse_second.htm"}, 0,
     "Updated collapse_first.htm\nUpdated collapse_second.htm\n", "",
     {{"collapse_first.b~k", "collapse_first.htm"},
      {"collapse_first.htm", "collapse_first.out.htm"},
      {"collapse_second.b~k", "collapse_second.htm"},
      {"collapse_second.htm", "collapse_second.out.htm"}}},
    {"unbalanced quotes with -p- stop the batch", {"unbalanced.htm", "quotes.htm"},
     {"-p-", "unbalanced.htm", "quotes.htm"}, 1, "", "unbalanced quotes in unbalanced.htm (try -d option)" + kPressEnter,
     {{"AAAAAAA~.Z~B", "unbalanced.out.htm"}, {"quotes.htm", "quotes.htm"}, {"unbalanced.htm", "unbalanced.htm"}}},
    {"with -d the map shows the quote state on every line", {"unbalanced.htm", "quotes.htm"},
     {"-p-", "-dquotes.map", "unbalanced.htm", "quotes.htm"}, 1, "",
     "unbalanced quotes in unbalanced.htm (see quotes.map)" + kPressEnter,
     {{"quotes.htm", "quotes.htm"}, {"quotes.map", "unbalanced.map"}, {"unbalanced.htm", "unbalanced.htm"}}},
    {"changed by both passes: one backup, both lines", {"trailing_and_quotes.htm"}, {"trailing_and_quotes.htm"}, 0,
     "Removed trailing spaces/emtpy lines from trailing_and_quotes.htm\nUpdated trailing_and_quotes.htm\n", "",
     {{"trailing_and_quotes.b~k", "trailing_and_quotes.htm"},
      {"trailing_and_quotes.htm", "trailing_and_quotes.out.htm"}}},
    {"nothing to change", {"unchanged.htm"}, {"unchanged.htm"}, 0, "", "", {{"unchanged.htm", "unchanged.htm"}}},
    {"nothing to change, work file kept", {"unchanged.htm"}, {"-k", "-t-", "unchanged.htm"}, 0, "", "",
     {{"AAAAAAA~.Z~B", "unchanged.htm"}, {"unchanged.htm", "unchanged.htm"}}},
    {"a page saved by an editor", {"editor_saved_page.htm"}, {"editor_saved_page.htm"}, 0,
     "Updated editor_saved_page.htm\n", "",
     {{"editor_saved_page.b~k", "editor_saved_page.htm"}, {"editor_saved_page.htm", "editor_saved_page.out.htm"}}},
};

TEST(RewritePages, FilesStreamsAndStatus) {
    for (const auto& c : kPageCases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir dir;
        for (const auto& page : c.pages) test::write_file(dir.file(page), fixture(page));
        auto got = test::run_zorbel(c.args, dir.path());
        EXPECT_EQ(got.status, c.status);
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(got.err, c.err);
        std::vector<std::string> names;
        for (const auto& f : c.files) names.push_back(f.name);
        ASSERT_EQ(list_dir(dir.path()), names);
        for (const auto& f : c.files) {
            std::string expected = fixture(f.content_fixture);
            std::string actual = read_file(dir.file(f.name));
            if (expected.find("{STAMP}") != std::string::npos) actual = mask_stamps(actual);
            EXPECT_EQ(actual, expected) << f.name;
        }
    }
}

}  // namespace
}  // namespace zorbel
