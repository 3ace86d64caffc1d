// The built program on small pages, one behaviour each, and on one
// realistic editor-saved page: the resulting files (the page, its backup, any
// work file or map), standard output, standard error and the exit status.
// Fixtures live in tests/fixtures/rewrite: NAME.htm is a page as it goes in,
// NAME.out.htm the page as it must come out; cases.txt holds one case a line. The date-time stamp depends on
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

// One row of cases.txt.
struct PageCase {
    std::string what;
    std::vector<std::string> pages;  // fixtures copied in under their own names
    std::vector<std::string> args;
    int status = 0;
    std::string out;
    std::string err;
    std::vector<Result> files;  // everything in the directory afterwards
};

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size()) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    for (auto& word : split(text, " ")) {
        if (!word.empty()) out.push_back(word);
    }
    return out;
}

// "\n" is a line feed and "\\" a backslash.
std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            out += text[i] == 'n' ? '\n' : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<PageCase> read_cases() {
    std::vector<PageCase> cases;
    for (const auto& line : split(fixture("cases.txt"), "\n")) {
        if (line.empty() || line[0] == '#') continue;
        const auto columns = split(line, " | ");
        EXPECT_EQ(columns.size(), 7u) << line;
        if (columns.size() != 7) continue;
        PageCase c{columns[0], words(columns[1]), words(columns[2]), std::stoi(columns[3]),
                   unescape(columns[4]), unescape(columns[5]), {}};
        for (const auto& file : words(columns[6])) {
            const std::size_t equals = file.find('=');
            c.files.push_back({file.substr(0, equals), file.substr(equals + 1)});
        }
        cases.push_back(c);
    }
    return cases;
}

TEST(RewritePages, FilesStreamsAndStatus) {
    const std::vector<PageCase> cases = read_cases();
    ASSERT_FALSE(cases.empty());
    for (const auto& c : cases) {
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
