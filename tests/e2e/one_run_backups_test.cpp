// Within one run a backup, once made, keeps the page as it was before the
// run: a page met again (named twice, matched twice, reached through a link)
// keeps its first backup, and a page whose backup name already holds another
// page's original is left alone with a notice.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/test_support.h"

namespace zorbel {
namespace {

using test::list_dir;
using test::read_file;
using test::write_file;

// Changed by the line pass (trailing blanks) and by the rewrite (quotes, the
// stamp); the wrap at the second of two blanks leaves a trailing blank for
// the line pass of a second visit, and the stamp changes on every visit.
const std::string kBothPasses = "<p>Updated <!-- $ZBL$:DATETIME -->x<!-- $ZBL$:CLOSE --></p>  \n  <p>\"orig\"</p>\n" +
                                std::string(69, 'x') + "  y\n";

struct VisitCase {
    const char* what;
    std::vector<std::string> links;  // link.htm -> page.htm made first when named
    std::vector<std::string> args;
    std::string out;
};

TEST(OneRunBackups, APageMetTwiceKeepsItsOriginalInTheBackup) {
    const VisitCase cases[] = {
        {"named by a pattern and by name", {}, {"--", "*.htm", "page.htm"},
         "Removed trailing spaces/emtpy lines from page.htm\nUpdated page.htm\n"
         "Removed trailing spaces/emtpy lines from page.htm\nUpdated page.htm\n"},
        {"named twice, once as ./page.htm", {}, {"page.htm", "./page.htm"},
         "Removed trailing spaces/emtpy lines from page.htm\nUpdated page.htm\n"
         "Removed trailing spaces/emtpy lines from ./page.htm\nUpdated ./page.htm\n"},
#ifndef _WIN32
        {"through a link, then by its own name", {"link.htm"}, {"link.htm", "page.htm"},
         "Removed trailing spaces/emtpy lines from link.htm\nUpdated link.htm\n"
         "Removed trailing spaces/emtpy lines from page.htm\nUpdated page.htm\n"},
        {"by its own name, then through a link", {"link.htm"}, {"page.htm", "link.htm"},
         "Removed trailing spaces/emtpy lines from page.htm\nUpdated page.htm\n"
         "Removed trailing spaces/emtpy lines from link.htm\nUpdated link.htm\n"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir dir;
        write_file(dir.file("page.htm"), kBothPasses);
#ifndef _WIN32
        for (const auto& link : c.links) ASSERT_EQ(::symlink("page.htm", dir.file(link).c_str()), 0);
#endif
        auto got = test::run_zorbel(c.args, dir.path());
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.err, "");
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(read_file(dir.file("page.b~k")), kBothPasses);
        std::vector<std::string> names = {"page.b~k", "page.htm"};
        if (!c.links.empty()) names.insert(names.begin(), "link.htm");
        EXPECT_EQ(list_dir(dir.path()), names);
        const std::string page = read_file(dir.file("page.htm"));
        EXPECT_NE(page.find("&#147;orig&#148;"), std::string::npos);
        EXPECT_EQ(page.find(" \r\n"), std::string::npos) << "the second visit's line pass took the trailing blank";
    }
}

TEST(OneRunBackups, APageWhoseBackupNameHoldsAnotherPagesOriginalIsSkipped) {
    test::ScratchDir dir;
    std::filesystem::create_directory(dir.file("site"));
    const std::string one = "<p>\"one\"</p>  \n", two = "<p>\"two\"</p>  \n";
    write_file(dir.file("site/index.htm"), one);
    write_file(dir.file("site/index.html"), two);
    auto got = test::run_zorbel({"--", "site/index.*"}, dir.path());
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out,
              "Removed trailing spaces/emtpy lines from site/index.htm\nUpdated site/index.htm\n");
    EXPECT_EQ(got.err, "Skipped \"site/index.html\": site/index.b~k holds the backup of site/index.htm\n");
    EXPECT_EQ(read_file(dir.file("site/index.b~k")), one);
    EXPECT_EQ(read_file(dir.file("site/index.html")), two) << "left exactly as it was";
    EXPECT_EQ(list_dir(dir.file("site")), (std::vector<std::string>{"index.b~k", "index.htm", "index.html"}));

    // A later run replaces the backup, as any later run does.
    got = test::run_zorbel({"site/index.html"}, dir.path());
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(read_file(dir.file("site/index.b~k")), two);
}

#ifndef _WIN32
// The quote map is a new file the user asked for: the permission bits of
// any new file, also where it replaces an older file of its name.
TEST(OneRunBackups, TheQuoteMapGetsTheModeOfANewFile) {
    const struct {
        mode_t umask;
        mode_t expected;
    } cases[] = {{022, 0644}, {077, 0600}, {002, 0664}};
    for (const auto& c : cases) {
        for (bool older_map : {false, true}) {
            SCOPED_TRACE(testing::Message() << std::oct << "umask " << c.umask << (older_map ? ", older map" : ""));
            test::ScratchDir dir;
            write_file(dir.file("page.htm"), "<p>\"open\n");
            if (older_map) {
                write_file(dir.file("quotes.map"), "old");
                ::chmod(dir.file("quotes.map").c_str(), 0600);
            }
            const mode_t saved = ::umask(c.umask);
            auto got = test::run_zorbel({"-p-", "-dquotes.map", "page.htm"}, dir.path(), "\n");
            ::umask(saved);
            EXPECT_EQ(got.status, 1);
            EXPECT_EQ(got.err, "unbalanced quotes in page.htm (see quotes.map)\n (press enter)");
            struct stat st {};
            ASSERT_EQ(::stat(dir.file("quotes.map").c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.expected);
            EXPECT_NE(read_file(dir.file("quotes.map")), "old");
        }
    }
}
#endif

}  // namespace
}  // namespace zorbel
