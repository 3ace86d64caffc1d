// The rewrite pass over files on disk, run in-process in a scratch
// directory: what is committed, what is kept, what is printed, and how the
// pass ends on each failure.
#include <gtest/gtest.h>

#include <string>
#include <filesystem>
#include <vector>

#include "support/page_files.h"

namespace zorbel {
namespace {

using test::list_dir;
using test::read_file;
using test::write_file;

// A fresh scratch directory is the current directory, where the work
// files go.
class RewriteFileTest : public test::PageFilesTest {};

using Names = std::vector<std::string>;

TEST_F(RewriteFileTest, ChangedFileIsCommittedWithBackup) {
    write_file("a.htm", "say \"hi\"\r\n");
    EXPECT_EQ(rewrite("a.htm"), 0);
    EXPECT_EQ(read_file("a.htm"), "say &#147;hi&#148;\r\n");
    EXPECT_EQ(read_file("a.b~k"), "say \"hi\"\r\n");
    EXPECT_EQ(console.out_text, "Updated a.htm\n");
    EXPECT_EQ(console.err_text, "");
    EXPECT_EQ(list_dir("."), (Names{"a.b~k", "a.htm"}));
}

TEST_F(RewriteFileTest, BackupAlreadyTakenByTheLinePass) {
    write_file("a.htm", "don't\r\n");
    write_file("a.b~k", "original\r\n");
    EXPECT_EQ(rewrite("a.htm", true), 0);
    EXPECT_EQ(read_file("a.htm"), "don&#146;t\r\n");
    EXPECT_EQ(read_file("a.b~k"), "original\r\n");
    EXPECT_EQ(console.out_text, "Updated a.htm\n");
}

TEST_F(RewriteFileTest, StaleTailIsNotCommitted) {
    write_file("a.htm", "a&nbsp;");
    EXPECT_EQ(rewrite("a.htm"), 0);
    EXPECT_EQ(read_file("a.htm"), "a ");
}

TEST_F(RewriteFileTest, UnchangedFileIsLeftAlone) {
    for (int keep : {0, 1}) {
        SCOPED_TRACE(keep ? "keep_temps" : "default");
        test::ScratchDir fresh;
        test::InDirectory here(fresh.path());
        console.out_text.clear();
        run.settings.options.keep_temps = keep;
        write_file("a.htm", "<p>plain text\r\n");
        EXPECT_EQ(rewrite("a.htm"), 0);
        EXPECT_EQ(read_file("a.htm"), "<p>plain text\r\n");
        EXPECT_EQ(console.out_text, "");
        if (keep) {
            EXPECT_EQ(list_dir("."), (Names{"AAAAAAA~.Z~B", "a.htm"}));
            EXPECT_EQ(read_file("AAAAAAA~.Z~B"), "<p>plain text\r\n");
        } else {
            EXPECT_EQ(list_dir("."), (Names{"a.htm"}));
        }
    }
}

TEST_F(RewriteFileTest, UnbalancedQuotesWithMap) {
    run.settings.options.reset_quotes_at_para = 0;
    run.settings.options.debug_map_name = "map.txt";
    write_file("map.txt", "an old map that is much longer than the new one\r\n");
    write_file("a.htm", "\"one\"\r\n\"two\r\nthree\r\n");
    EXPECT_EQ(rewrite("a.htm"), 1);
    EXPECT_EQ(console.err_text, "unbalanced quotes in a.htm (see map.txt)\n (press enter)");
    EXPECT_EQ(read_file("a.htm"), "\"one\"\r\n\"two\r\nthree\r\n");
    EXPECT_EQ(read_file("map.txt"), "&#147;one&#148;\r\nq:0: &#147;two\r\nq:1: three\r\nq:1: ");
    EXPECT_EQ(list_dir("."), (Names{"a.htm", "map.txt"}));
}

TEST_F(RewriteFileTest, MapNamedLikeThePageNeverReplacesIt) {
    // The page would be lost: the map keeps the work file's name instead.
    run.settings.options.reset_quotes_at_para = 0;
    run.settings.options.debug_map_name = "a.htm";
    write_file("a.htm", "\"open\r\n");
    EXPECT_EQ(rewrite("a.htm"), 1);
    EXPECT_EQ(console.err_text, "unbalanced quotes in a.htm (see AAAAAAA~.Z~B)\n (press enter)");
    EXPECT_EQ(read_file("a.htm"), "\"open\r\n");
    EXPECT_EQ(read_file("AAAAAAA~.Z~B"), "&#147;open\r\nq:1: ");
}

TEST_F(RewriteFileTest, MapRequestedButQuotesBalance) {
    // Committed exactly as without the map, and no map is written.
    run.settings.options.reset_quotes_at_para = 0;
    run.settings.options.debug_map_name = "map.txt";
    write_file("a.htm", "\"one\"\r\n\"two\"\r\n");
    EXPECT_EQ(rewrite("a.htm"), 0);
    EXPECT_EQ(read_file("a.htm"), "&#147;one&#148;\r\n&#147;two&#148;\r\n");
    EXPECT_EQ(list_dir("."), (Names{"a.b~k", "a.htm"}));
}

TEST_F(RewriteFileTest, MapStartsFromTheSameCarriedState) {
    // The map pass must see the same removal state as the pass it maps.
    run.settings.options.reset_quotes_at_para = 0;
    run.settings.options.debug_map_name = "map.txt";
    run.pipeline.carried.crlf_collapse_active = 1;
    run.pipeline.carried.after_newline = 1;
    write_file("a.htm", "\r\n\"a\r\nb");
    EXPECT_EQ(rewrite("a.htm"), 1);
    EXPECT_EQ(read_file("map.txt"), "&#147;a\r\nq:1: b");
}

// Each way the pass fails, with its message and status, the page as it
// was, and what stays on disk: a work file that the user may look at stays
// under its own name; one that holds nothing of use goes.
TEST(RewriteFileFailures, EachEndsWithItsMessageAndStatus) {
    const struct {
        const char* what;
        const char* page;  // null: no such file; empty: a directory
        bool keep_quotes_open;
        std::string err;
        int status;
        Names left;
    } cases[] = {
        {"no such file: a notice, and the run goes on", nullptr, false, "couldn't open nope.htm\n", 0, {}},
        {"a quote still open", "<p>\"open\r\n", true,
         "unbalanced quotes in nope.htm (try -d option)\n (press enter)", 1, {"AAAAAAA~.Z~B", "nope.htm"}},
        {"a stamp with no tag after it", "<!-- $ZBL$:DATETIME -->old\r\n", false,
         "very lengthy <!-- $ZBL$:DATETIME -->\n (press enter)", 1, {"AAAAAAA~.Z~B", "nope.htm"}},
#ifdef _WIN32
        // A directory does not open as a file: it is reported and passed over.
        {"a directory", "", false, "couldn't open nope.htm\n", 0, {"nope.htm"}},
#else
        // A directory opens for reading but cannot be read.
        {"a directory", "", false, "couldn't read nope.htm.\n", 3, {"nope.htm"}},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir dir;
        test::InDirectory here(dir.path());
        if (c.page != nullptr && *c.page == 0) std::filesystem::create_directory("nope.htm");
        if (c.page != nullptr && *c.page != 0) write_file("nope.htm", c.page);
        StringConsole console;
        Invocation run(console);
        run.settings.clock = test::pinned_time;
        run.settings.options.reset_quotes_at_para = c.keep_quotes_open ? 0 : 1;

        EXPECT_EQ(test::rewrite_reported(run, "nope.htm"), c.status);

        EXPECT_EQ(console.err_text, c.err);
        EXPECT_EQ(console.out_text, "");
        EXPECT_EQ(list_dir("."), c.left);
        if (c.page != nullptr && *c.page != 0) {
            EXPECT_EQ(read_file("nope.htm"), c.page);
        }
    }
}

}  // namespace
}  // namespace zorbel
