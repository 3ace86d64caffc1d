// Pages that fit in memory go through both passes in one step. Everything a
// user can see must be what the two passes one after the other give: the
// files left in the folder and their bytes, the progress lines and
// messages, the exit status, the state carried into the next page, and the
// work-file name the next search starts from. Random pages under random
// options, with tiny blocks and bounds small enough that pages cross them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/report.h"
#include "support/test_support.h"
#include "support/fs_test_tools.h"

namespace zorbel {
namespace {

const std::vector<std::string> kPieces = {
    "word", "a", "Longer words here", " ", "  ", "\t", "  \n", " \t\r\n", "\n", "\r\n", "\n\n", "\r\n \r\n", "\r",
    "\x01", "\xff", "\"", "'", "&nbsp;", "&quot;", "&#147;", "&#148;", "&amp;", "<p>", "<P class=\"x y\">",
    "<a href=\"x.htm\">", " <a href=y> link", "</a>", "<b\r\n class='c'>", "<!-- ZBLDONTWRAP -->",
    "<!-- $ZBL$:UNCURLY -->", "<!-- $ZBL$:CURLY -->", "<!-- $ZBL$:DATETIME -->old<", "<!-- $ZBL$:DATETIME -->",
    "<script>", "</script>", "<img src=\"chrome://editor/content/images/tag-comment.gif\">", "<td  width=\"50%\" >",
    "<img alt=\"a > b\" src=x.gif>", "<b t='a>\"<i>' u=\"'>\">", "<b t = \r\n\"x > y\" z>", "<x a=\"open >",
    "<pre>", "</pre>", "<code>", "</code>", "<textarea>", "</textarea>", "<!--", "-->", "  \r\n\r\n",
};

std::string random_page(std::mt19937& rng) {
    std::string page;
    const int pieces = static_cast<int>(rng() % 60);
    for (int i = 0; i < pieces; ++i) {
        if (rng() % 8 == 0) {
            page += std::string(1 + rng() % 90, rng() % 3 ? 'w' : ' ');
        } else {
            page += kPieces[rng() % kPieces.size()];
        }
    }
    return page;
}

Options random_options(std::mt19937& rng) {
    Options o;
    const int margins[] = {0, 5, 10, 70};
    o.wrap_margin = margins[rng() % 4];
    o.cute_quotes = rng() % 4 != 0;
    o.nbsp_to_space = rng() % 2;
    o.reset_quotes_at_para = rng() % 3 != 0;
    o.strip_indent = rng() % 4 != 0;
    o.strip_trailing = rng() % 5 != 0;
    o.strip_empty_lines = rng() % 3 != 0;
    o.fix_webx = rng() % 4 != 0;
    o.dump_editor_junk = rng() % 2;
    o.collapse_crlf = rng() % 3 == 0;
    o.datetime_stamps = rng() % 4 != 0;
    o.keep_temps = rng() % 8 == 0;
    if (rng() % 10 == 0) o.debug_map_name = "quotes.map";
    o.keep_verbatim = rng() % 3 == 0;
    return o;
}

// What a batch over the pages leaves behind.
struct Seen {
    std::vector<std::pair<std::string, std::string>> files;
    std::string out, err, temp_name;
    int status = 0, after_newline = 0, crlf_collapse_active = 0;
};

Seen run_batch(const std::vector<std::string>& pages, const Options& options, std::size_t block, std::size_t bound,
               int after_newline, int crlf_collapse_active) {
    test::ScratchDir dir;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        names.push_back("page" + std::to_string(i) + ".htm");
        test::write_file(dir.file(names.back()), pages[i]);
    }
    test::InDirectory here(dir.path());
    StringConsole console;
    console.input = "\n";
    Invocation run(console);
    run.settings.options = options;
    run.settings.block_size = block;
    run.settings.clock = [] { return BrokenDownTime{4, 6, 4, 113, 15, 5}; };
    PagePipeline& pipeline = run.pipeline;
    pipeline.one_step = bound != 0;
    pipeline.held.bound = bound;
    pipeline.carried = CarriedState{after_newline, crlf_collapse_active};
    Seen seen;
    seen.status = test::exit_status_of([&] {
        for (const auto& name : names) process_file(run, name);
    });
    for (const auto& name : test::list_dir(dir.path())) seen.files.emplace_back(name, test::read_file(dir.file(name)));
    seen.out = console.out_text;
    seen.err = console.err_text;
    seen.temp_name = pipeline.work_files().temp_name;
    seen.after_newline = pipeline.carried.after_newline;
    seen.crlf_collapse_active = pipeline.carried.crlf_collapse_active;
    return seen;
}

TEST(OneStep, SameAsTheTwoPassesOnRandomPages) {
    std::mt19937 rng(20261210);
    const std::size_t blocks[] = {1, 3, 64, kDefaultBlockSize};
    const std::size_t bounds[] = {8, 100, kHeldOutputBound};
    for (int round = 0; round < 400; ++round) {
        const std::vector<std::string> pages = {random_page(rng), random_page(rng)};
        const Options options = random_options(rng);
        const std::size_t block = blocks[rng() % 4];
        const std::size_t bound = bounds[rng() % 3];
        const int after_newline = rng() % 2, collapse = rng() % 2;
        SCOPED_TRACE("round " + std::to_string(round) + ", block " + std::to_string(block) + ", bound " +
                     std::to_string(bound));
        const Seen two = run_batch(pages, options, block, 0, after_newline, collapse);
        const Seen one = run_batch(pages, options, block, bound, after_newline, collapse);
        EXPECT_EQ(one.files, two.files);
        EXPECT_EQ(one.out, two.out);
        EXPECT_EQ(one.err, two.err);
        EXPECT_EQ(one.status, two.status);
        EXPECT_EQ(one.temp_name, two.temp_name);
        EXPECT_EQ(one.after_newline, two.after_newline);
        EXPECT_EQ(one.crlf_collapse_active, two.crlf_collapse_active);
        if (HasFailure()) return;
    }
}

// Pages around the block size and around the bound of the output held in
// memory, and a tag whose line ends reach back further than the stripped
// page is kept for the rewrite's moves back.
TEST(OneStep, SameAsTheTwoPassesOnLongPages) {
    const std::string line = "<p>\"Quoted\" it's  \n";
    struct Case {
        std::string name;
        std::string page;
        Options options;
    };
    std::vector<Case> cases;
    for (std::size_t size : {kDefaultBlockSize, kDefaultBlockSize + 1, kHeldOutputBound - 1, kHeldOutputBound,
                             kHeldOutputBound + 1, std::size_t{1536 * 1024}}) {
        std::string page;
        while (page.size() < size) page += line;
        page.resize(size);
        cases.push_back({"size " + std::to_string(size), page, Options{}});
    }
    // Which of its inputs the rewrite reads is settled only where the line
    // pass first removes something, or at the page's end.
    std::string crlf_then_lf, lf_then_strip;
    while (crlf_then_lf.size() < 2 * kDefaultBlockSize) crlf_then_lf += "<p>it's \"x\"\r\n";
    for (int i = 0; i < 10; ++i) crlf_then_lf += "<p>it's y\n";
    while (lf_then_strip.size() < 2 * kDefaultBlockSize) lf_then_strip += "<p>it's \"x\"\n";
    cases.push_back({"CR LF lines, then bare LFs, nothing removed", crlf_then_lf, Options{}});
    cases.push_back({"CR LF lines, then a trailing blank at the end", crlf_then_lf + "z \r\n", Options{}});
    cases.push_back({"bare LFs, nothing removed", lf_then_strip, Options{}});
    cases.push_back({"bare LFs, then a trailing blank at the end", lf_then_strip + "z \n", Options{}});
    cases.push_back({"no line end at all", std::string(3 * kDefaultBlockSize, '<') + "'", Options{}});
    Options keep_blank_lines;
    keep_blank_lines.strip_empty_lines = 0;
    cases.push_back({"tag with 100000 line ends", "x \n<a" + std::string(100000, '\n') + " href=y>z</a>\n",
                     keep_blank_lines});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Seen two = run_batch({c.page}, c.options, kDefaultBlockSize, 0, 0, 0);
        const Seen one = run_batch({c.page}, c.options, kDefaultBlockSize, kHeldOutputBound, 0, 0);
        EXPECT_EQ(one.files, two.files);
        EXPECT_EQ(one.out, two.out);
        EXPECT_EQ(one.err, two.err);
        EXPECT_EQ(one.status, two.status);
    }
}

#ifndef _WIN32
// A folder where no work file can be made stops the run at the first page
// that needs one, with the message and status the two passes give there;
// pages before it that need no change are passed over without one.
TEST(OneStep, AFolderWithoutRoomForWorkFilesStopsAtTheFirstPageThatChanges) {
    const std::string tidy = "<p>Nothing to change.</p>\r\n";
    const std::string messy = "<p>Trailing  \n\n";
    test::ScratchDir dir;
    test::write_file(dir.file("a.htm"), tidy);
    test::write_file(dir.file("b.htm"), messy);
    test::InDirectory here(dir.path());
    test::InodeFlag immutable(dir.path(), FS_IMMUTABLE_FL);
    if (!immutable.ok()) GTEST_SKIP() << "cannot make a directory immutable here";
    StringConsole console;
    console.input = "\n";
    Invocation run(console);
    const int status = test::exit_status_of([&] {
        process_file(run, "a.htm");
        process_file(run, "b.htm");
    });
    EXPECT_EQ(status, kExitFileError);
    EXPECT_EQ(console.err_text, "couldn't open AAAAAAA~.Z~B for w.");
    EXPECT_EQ(console.out_text, "");
    EXPECT_EQ(test::read_file(dir.file("a.htm")), tidy);
    EXPECT_EQ(test::read_file(dir.file("b.htm")), messy);
}
#endif

}  // namespace
}  // namespace zorbel
