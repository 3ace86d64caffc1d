// zorbel-fmt run as a program in a scratch folder: each row gives the
// arguments, the folder before, the folder after, both output streams and
// the exit status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fmt/fmt_support.h"

namespace zorbel {
namespace {

using test::Tree;

// An untidy page (indentation, trailing blanks, an empty line, straight
// quotes, and an &nbsp; that one round turns into an indentation the next
// round removes), as one round leaves it, and as it settles.
const std::string kUntidy = "<p>\n  &nbsp;x \"q\"  \n\n</p>\n";
const std::string kOnce = "<p>\r\n x &#147;q&#148;\r\n</p>\r\n";
const std::string kTidy = "<p>\r\nx &#147;q&#148;\r\n</p>\r\n";

std::string diff_of(const std::string& path) {
    return "--- a/" + path + "\n+++ b/" + path +
           "\n@@ -1,4 +1,3 @@\n-<p>\n-  &nbsp;x \"q\"  \n-\n-</p>\n+<p>\r\n+x &#147;q&#148;\r\n+</p>\r\n";
}

const std::string kTry = "Try 'zorbel-fmt --help' for more information.\n";

struct Row {
    const char* what;
    std::vector<std::string> args;
    Tree before;
    Tree after;  // only the entries that differ from before; "" removes one
    std::string out;
    std::string err;
    int status;
    std::string stdin_text = "";
};

// A site with pages at two depths, hidden names, a backup, a file that is
// no page, and an old backup of its own.
const Tree kSite = {
    {"site/a.htm", kUntidy},         {"site/b.html", kTidy},          {"site/sub/c.HTM", kUntidy},
    {"site/sub/d.ht", kUntidy},    {"site/.hidden/e.htm", kUntidy}, {"site/.f.htm", kUntidy},
    {"site/notes.txt", kUntidy},     {"site/g.b~k", kUntidy},         {"site/drafts/h.htm", kUntidy},
};

const Row kRows[] = {
    {"in place: the page settles, its old content in the backup", {"a.htm"}, {{"a.htm", kUntidy}},
     {{"a.htm", kTidy}, {"a.b~k", kUntidy}}, "", "", 0},
    {"in place, --no-backup", {"--no-backup", "a.htm"}, {{"a.htm", kUntidy}}, {{"a.htm", kTidy}}, "", "", 0},
    {"in place, --once: one round, as zorbel gives it", {"--once", "a.htm"}, {{"a.htm", kUntidy}},
     {{"a.htm", kOnce}, {"a.b~k", kUntidy}}, "", "", 0},
    {"a tidy page is left alone, with no backup", {"a.htm"}, {{"a.htm", kTidy}}, {}, "", "", 0},
    {"an older backup is replaced by the page as it was before this run", {"a.htm"},
     {{"a.htm", kUntidy}, {"a.b~k", "older"}}, {{"a.htm", kTidy}, {"a.b~k", kUntidy}}, "", "", 0},
    {"pages sharing a backup name: the second is skipped with a notice", {"."},
     {{"index.htm", kUntidy}, {"index.html", kUntidy}}, {{"index.htm", kTidy}, {"index.b~k", kUntidy}}, "",
     "zorbel-fmt: ./index.html: skipped: ./index.b~k holds the backup of ./index.htm\n", 0},
    {"sharing a backup name, the first tidy already: the second is tidied", {"."},
     {{"index.htm", kTidy}, {"index.html", kUntidy}}, {{"index.html", kTidy}, {"index.b~k", kUntidy}}, "", "", 0},
    {"a page named twice is tidied once", {"a.htm", "./a.htm", "a.htm"}, {{"a.htm", kUntidy}},
     {{"a.htm", kTidy}, {"a.b~k", kUntidy}}, "", "", 0},
    {"a named file is tidied whatever its name; a named backup is not", {"notes.txt", "x.b~k"},
     {{"notes.txt", kUntidy}, {"x.b~k", kUntidy}}, {{"notes.txt", kTidy}, {"notes.b~k", kUntidy}}, "", "", 0},

    {"--check lists what would change and writes nothing", {"--check", "site"}, kSite, {},
     "site/a.htm\nsite/drafts/h.htm\nsite/sub/c.HTM\n", "", 1},
    {"--check with nothing to change", {"--check", "a.htm"}, {{"a.htm", kTidy}}, {}, "", "", 0},
    {"--exclude leaves out a folder by name and files by a pattern",
     {"--check", "--exclude", "drafts", "--exclude=*.HTM", "site"}, kSite, {}, "site/a.htm\n", "", 1},
    {"--exclude holds for named paths too", {"--check", "--exclude=a.htm", "a.htm", "b.htm"},
     {{"a.htm", kUntidy}, {"b.htm", kUntidy}}, {}, "b.htm\n", "", 1},
    {"a folder in place: pages only, hidden names and backups passed over", {"site"}, kSite,
     {{"site/a.htm", kTidy}, {"site/a.b~k", kUntidy}, {"site/sub/c.HTM", kTidy}, {"site/sub/c.b~k", kUntidy},
      {"site/drafts/h.htm", kTidy}, {"site/drafts/h.b~k", kUntidy}},
     "", "", 0},
    {"--diff prints a unified diff and writes nothing", {"--diff", "a.htm", "b.htm"},
     {{"a.htm", kUntidy}, {"b.htm", kTidy}}, {}, diff_of("a.htm"), "", 0},
    {"--diff --check exits 0 with no diff", {"--diff", "--check", "--color=always", "b.htm"}, {{"b.htm", kTidy}}, {},
     "", "", 0},
    {"--diff --check exits 1 on a diff", {"--check", "--diff", "--color=never", "a.htm"}, {{"a.htm", kUntidy}}, {},
     diff_of("a.htm"), "", 1},

    {"filter: standard input to standard output", {}, {}, {}, kTidy, "", 0, kUntidy},
    {"verbatim elements are kept by default", {}, {}, {}, "<pre>\n  \"x\"  \n\n</pre>\n", "", 0,
     "<pre>\n  \"x\"  \n\n</pre>\n"},
    {"--no-keep-verbatim tidies them like any text", {"--no-keep-verbatim"}, {}, {},
     "<pre>\r\n&#147;x&#148;\r\n</pre>\r\n", "", 0, "<pre>\n  \"x\"  \n\n</pre>\n"},
    {"filter: - names standard input", {"--once", "-"}, {}, {}, kOnce, "", 0, kUntidy},
    {"filter --check", {"--check"}, {}, {}, "-\n", "", 1, kUntidy},
    {"filter: a page that cannot be tidied comes back as it was", {"--strict-quotes"}, {}, {}, "<p>\"a\n",
     "zorbel-fmt: -: cannot tidy: unbalanced quotes (a double quote open at the end)\n", 2, "<p>\"a\n"},

    {"errors: reported per page, the page left alone, the others go on",
     {"--strict-quotes", "missing.htm", "q.htm", "d.htm", "a.htm"},
     {{"q.htm", "<p>\"a  \n"}, {"d.htm", "<p>\"x\" <!-- $ZBL$:DATETIME -->x\n"}, {"a.htm", kUntidy}},
     {{"a.htm", kTidy}, {"a.b~k", kUntidy}}, "",
     "zorbel-fmt: missing.htm: cannot read: No such file or directory\n"
     "zorbel-fmt: q.htm: cannot tidy: unbalanced quotes (a double quote open at the end)\n"
     "zorbel-fmt: d.htm: cannot tidy: a DATETIME marker with no tag after it\n",
     2},

    {"bad option", {"--bogus", "a.htm"}, {}, {}, "",
     "zorbel-fmt: The following argument was not expected: --bogus\n" + kTry, 2},
    {"bad number", {"--margin=ten"}, {}, {}, "", "zorbel-fmt: --margin: Value ten not in range 0 to 2147483647\n" + kTry,
     2},
    {"negative margin", {"-w", "-1"}, {}, {}, "", "zorbel-fmt: --margin: Value -1 not in range 0 to 2147483647\n" + kTry,
     2},
    {"bad colour", {"--color=pink"}, {}, {}, "", "zorbel-fmt: --color: pink not in {auto,always,never}\n" + kTry, 2},
    {"no jobs", {"--jobs=0"}, {}, {}, "", "zorbel-fmt: --jobs: Value 0 not in range 1 to 1024\n" + kTry, 2},
    {"standard input among other paths", {"a.htm", "-"}, {{"a.htm", kUntidy}}, {}, "",
     "zorbel-fmt: -: standard input is tidied alone, with no other PATH\n" + kTry, 2},
    {"--version", {"--version"}, {}, {}, "zorbel-fmt 1.0.0\n", "", 0},

#ifndef _WIN32
    {"links: a link to a page is followed, its target tidied once and backed up beside itself; "
     "links to folders and dangling links are passed over",
     {"site"},
     {{"site/a.htm", kUntidy}, {"site/link.htm", "-> a.htm"}, {"pages/p.htm", kUntidy},
      {"site/p-link.htm", "-> ../pages/p.htm"}, {"site/dir", "-> ../pages"}, {"site/gone.htm", "-> nothing.htm"}},
     {{"site/a.htm", kTidy}, {"site/a.b~k", kUntidy}, {"pages/p.htm", kTidy}, {"pages/p.b~k", kUntidy}}, "", "", 0},
#endif
};

TEST(FmtEndToEnd, Rows) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        test::ScratchDir dir;
        test::make_tree(dir.path(), row.before);
        Tree expected = test::snapshot(dir.path());
        for (const auto& [name, content] : row.after) {
            if (content.empty()) {
                expected.erase(name);
            } else {
                expected[name] = content;
            }
        }
        const test::ProcessResult got = test::run_fmt(row.args, dir.path(), row.stdin_text);
        EXPECT_EQ(got.out, row.out);
        EXPECT_EQ(got.err, row.err);
        EXPECT_EQ(got.status, row.status);
        EXPECT_EQ(test::snapshot(dir.path()), expected);
    }
}

TEST(FmtEndToEnd, HelpNamesEveryOption) {
    test::ScratchDir dir;
    const test::ProcessResult got = test::run_fmt({"--help"}, dir.path());
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out.rfind("Usage: zorbel-fmt [OPTIONS] [PATH...]\n", 0), 0u);
    for (const char* option :
         {"--check", "--diff", "--color=WHEN", "--no-backup", "--once", "--keep-verbatim, --no-keep-verbatim",
          "-j, --jobs=N", "--exclude=GLOB", "-w, --margin=N", "--no-quotes", "--keep-nbsp", "--strict-quotes",
          "--keep-indent", "--keep-blank-lines", "--keep-trailing", "--no-anchor-fix", "--keep-editor-tags",
          "--join-paragraph-breaks", "--no-stamps", "-h, --help", "--version"}) {
        const std::size_t at = got.out.find(std::string("\n  ") + option);
        ASSERT_NE(at, std::string::npos) << option;
        const char after = got.out[at + 3 + std::string(option).size()];
        EXPECT_TRUE(after == ' ' || after == '\n') << option;
    }
}

}  // namespace
}  // namespace zorbel
