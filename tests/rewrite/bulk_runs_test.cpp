// Runs of bytes taken in one step must leave exactly what taking them one
// token at a time leaves: the work file, the outcome, the carried flags and
// any fatal message. Random pages built from the pieces where the two could
// part (blanks at the margin, indentation, line ends, CRs under the collapse,
// quotes inside and outside tags, script, no-wrap regions, anchors, tags
// near the capture bound) are run both ways at every block size.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "rewrite/engine_support.h"
#include "rewrite/rewrite_pass.h"

namespace zorbel {
namespace {

struct PassSetup {
    Options options;
    int after_newline = 0;
    int crlf_collapse_active = 0;
    bool prefixes = false;
};

test::Rewritten run_pass(const std::string& input, const PassSetup& setup, std::size_t block, bool bulk) {
    return test::rewrite_text(input, setup.options, block, CarriedState{setup.after_newline, setup.crlf_collapse_active},
                              setup.prefixes, bulk);
}

void expect_same(const std::string& input, const PassSetup& setup, std::size_t block) {
    const test::Rewritten slow = run_pass(input, setup, block, false);
    const test::Rewritten fast = run_pass(input, setup, block, true);
    EXPECT_EQ(fast.work, slow.work);
    EXPECT_EQ(fast.outcome.changed, slow.outcome.changed);
    EXPECT_EQ(fast.outcome.quote_error, slow.outcome.quote_error);
    EXPECT_EQ(fast.outcome.stamp_unended, slow.outcome.stamp_unended);
    EXPECT_EQ(fast.outcome.carried.after_newline, slow.outcome.carried.after_newline);
    EXPECT_EQ(fast.outcome.carried.crlf_collapse_active, slow.outcome.carried.crlf_collapse_active);
}

const std::vector<std::string> kPieces = {
    "word", "a", "Longerword", " ", "  ", "\t", " \t ", "\n", "\r\n", "\r", "\r\n\r\n", "\n\r\n", "\x01", std::string(1, '\0'),
    "\xff\x80", "\x7f", "\"", "'", "&", "&nbsp;", "&quot;", "&#147;", "&#148;", "&amp;", "&toolongentity;", "<", ">",
    "<p>", "<P class=\"x y\">", "<a href=\"x.htm\">", "<A\r\nhref=x>", "</a>", "<em>", "<b\r\n class='c'>",
    "<!-- ZBLDONTWRAP -->", "<!-- $ZBL$:UNCURLY -->", "<!-- $ZBL$:CURLY -->", "<!-- $ZBL$:DATETIME -->old<",
    "<script>", "</script>", "<style>", "</style>", "<img src=\"chrome://editor/content/images/tag-comment.gif\">",
    "<img alt=\"it's \"q\" here\" src=a.gif>", "<tag\n\n  x=1\r\n>", "<span title=\"a b c\" id=x>", "< em>",
    "<td  width=\"50%\" >", "<x a=&amp;>", "<>", "< >", "<i\x01>",
    // Attribute values that hold '>' or '<', single quotes, blanks and line
    // ends around '=', quotes that open nothing, values never closed.
    "<img alt=\"a > b\" src=x.gif>", "<b t='a>\"<i>' u=\"'>\">", "<a href=\"#<tt>x</tt>_y\">", "<b class=a\"b c>",
    "<b t = \r\n\"x > y\" z>", "<i t=\n\t'<p>'>", "<x a=\"open >", "<!-- a=\">\" -->", "<b t=\f\">\">",
    "<p title=\"<P>\">", "<pre>", "</pre>", "<PRE class=x>", "<code>", "</code>", "<tt>", "</TT>", "<textarea>",
    "</textarea>", "<xmp>", "</xmp>", "<!--", "-->", "<pre title=\"a>b\">", "<b t=\"A&T\">", "<span title=\"" + std::string(80, ' ') + "\">", "=\"", "='", "<b ==\">\">",
};

std::string random_page(std::mt19937& rng) {
    std::string page;
    const int pieces = 1 + static_cast<int>(rng() % 80);
    for (int i = 0; i < pieces; ++i) {
        switch (rng() % 12) {
            case 0: {
                // A tag whose '>' falls near the capture bound, or beyond it,
                // sometimes with a quoted value holding '>' across the bound.
                std::size_t body = 195 + rng() % 12;
                std::string tag = "<" + std::string(body, rng() % 2 ? 'x' : ' ');
                if (rng() % 3 == 0) tag[1 + rng() % body] = '\n';
                if (rng() % 2 == 0) {
                    const std::size_t at = 2 + rng() % (body - 4);
                    tag.replace(at, 2, rng() % 2 ? "=\"" : "='");
                    tag[at + 2 + rng() % (body - at - 2)] = '>';
                    if (rng() % 2) tag += tag[at + 1];
                }
                page += tag + ">";
                break;
            }
            case 1:
                page += std::string(1 + rng() % 90, rng() % 2 ? 'w' : ' ');
                break;
            case 2:
                // A run of '<': every capture in it overruns the bound, and
                // what follows decides where the runs end.
                page += std::string(rng() % 2 ? 1 + rng() % 8 : 190 + rng() % 300, '<');
                break;
            default:
                page += kPieces[rng() % kPieces.size()];
        }
    }
    return page;
}

PassSetup random_setup(std::mt19937& rng) {
    PassSetup s;
    const int margins[] = {0, 1, 5, 10, 70, 2147483647};
    s.options.wrap_margin = margins[rng() % 6];
    s.options.cute_quotes = rng() % 4 != 0;
    s.options.nbsp_to_space = rng() % 2;
    s.options.reset_quotes_at_para = rng() % 2;
    s.options.strip_indent = rng() % 4 != 0;
    s.options.fix_webx = rng() % 4 != 0;
    s.options.dump_editor_junk = rng() % 2;
    s.options.collapse_crlf = rng() % 2;
    s.options.datetime_stamps = rng() % 4 != 0;
    s.after_newline = rng() % 2;
    s.crlf_collapse_active = rng() % 2;
    s.prefixes = rng() % 4 == 0;
    s.options.keep_verbatim = rng() % 3 == 0;
    return s;
}

TEST(BulkRuns, SameAsOneTokenAtATimeOnRandomPages) {
    std::mt19937 rng(20261210);
    for (int round = 0; round < 1500; ++round) {
        const std::string page = random_page(rng);
        const PassSetup setup = random_setup(rng);
        const std::size_t block = test::kBlockSizes[rng() % test::kBlockSizes.size()];
        SCOPED_TRACE("round " + std::to_string(round) + ", block " + std::to_string(block));
        expect_same(page, setup, block);
        if (HasFailure()) return;
    }
}

TEST(BulkRuns, SameAsOneTokenAtATimeAtTheirEdges) {
    struct Case {
        const char* what;
        std::string input;
        void (*setup)(PassSetup&);
    };
    const std::string long_line = "   " + std::string(30, 'x') + " " + std::string(40, 'y') + " z  q";
    auto none = [](PassSetup&) {};
    const Case cases[] = {
        {"'>' is the 201st byte after '<'", "<" + std::string(200, 'x') + "> a", none},
        {"'>' is the 202nd byte after '<'", "<" + std::string(201, 'x') + "> a", none},
        {"'>' is the 203rd byte after '<'", "<" + std::string(202, 'x') + "> a", none},
        {"CR LF folded at the bound", "<" + std::string(199, 'x') + "\r\n> a", none},
        // Quoted attribute values: a '>' inside one at the bound, a value
        // running past it, folded line ends before one, one never closed.
        {"quoted '>' as the 201st byte", "<b t=\"" + std::string(194, 'x') + ">\"> \"a\"", none},
        {"value across the bound", "<b t='" + std::string(250, ' ') + ">' u=\"> v\"> \"a\" b c", none},
        {"folded CR LFs before a value", "<b\r\n\r\n\r\n t\r\n=\r\n\"a > b c\"> \"d\"",
         [](PassSetup& p) { p.options.wrap_margin = 2; }},
        {"a value never closed", "<b t=\"a > b " + std::string(300, 'c') + " \"d\" e", none},
        {"blank exactly at the margin", long_line, [](PassSetup& p) { p.options.wrap_margin = 71; }},
        {"blank one past the margin", long_line, none},
        {"debug prefixes after every line end", "a \"b\nc\r\n  d\" e\n", [](PassSetup& p) { p.prefixes = true; }},
        {"collapse armed across a run", "<p>\r\n\r\n\r\ntext\r\n\r\n<p>x\n\r\n", none},
        {"anchor followed by a blank in a no-wrap region", "<!-- ZBLDONTWRAP --><a href=x> y</a> z", none},
        {"quote entities already right change nothing", "x &#147;a&#148; y\r\n", none},
        {"&nbsp; kept when not asked to go", "a&nbsp;b &quot;c&quot;", [](PassSetup& p) { p.options.nbsp_to_space = 0; }},
        {"entity cut by a line end", "a &nb\nsp; &#14\r\n7; b", none},
        {"entity cut by the end of the input", "a &nbs", none},
        {"'<' only, far past the bound", std::string(700, '<'), none},
        {"'<' run ending in a tag end", std::string(450, '<') + "p>" + std::string(300, '<') + "\r\n>", none},
        // Tags taken whole within a run: a blank inside at the margin wraps
        // only outside attribute values, the first byte never wraps.
        {"tag blank exactly at the margin", std::string(60, 'x') + " <span id=ab title=\"c d\">e</span> f",
         [](PassSetup& p) { p.options.wrap_margin = 70; }},
        {"tag blank one past the margin", std::string(60, 'x') + " <span id=abc title=\"c d\">e</span> f",
         [](PassSetup& p) { p.options.wrap_margin = 70; }},
        {"tag blank inside a value past the margin", std::string(60, 'x') + " <b title=\"c d e f g\">h</b>",
         [](PassSetup& p) { p.options.wrap_margin = 68; }},
        {"tag opening with a quote or a blank", "a <\"b c\"> d < e> f <\t> g", [](PassSetup& p) { p.options.wrap_margin = 1; }},
        {"blank after a tag at the margin", "abcd<i>x</i> y z", [](PassSetup& p) { p.options.wrap_margin = 12; }},
        {"tags next to entities and quotes", "<em>&nbsp;</em>\"<b>it's</b>\"&amp;<i>&#147;</i>", none},
        // Paragraph and anchor tags taken whole within a run: never read
        // again, so blanks inside do not wrap; a paragraph ends an open quote
        // and arms the collapse of the line breaks after it.
        {"paragraph and anchor tags past the margin", "ab <p class=\"x y z\">c <a href=\"u v\" title=w>d</a> e",
         [](PassSetup& p) { p.options.wrap_margin = 5; }},
        {"paragraph closing an open quote", "a \"b <P>c\" d <p align=x>\"e", [](PassSetup& p) { p.options.reset_quotes_at_para = 1; }},
        {"paragraph keeping an open quote", "a \"b <P>c\" d <p align=x>\"e", none},
        {"paragraph arming the collapse", "x<p>\r\n\r\n\r\ny<p>\n\r\nz", [](PassSetup& p) { p.crlf_collapse_active = 0; }},
        {"paragraph tag at the capture bound", "a <p" + std::string(199, 'x') + "> b <a" + std::string(200, 'y') + "> c", none},
        {"anchor with a control byte", "a <a\x01href=x>b</a> c", none},
        // A fatal stamp keeps the work file as written, stale bytes included.
        {"stamp cut off after a shortened entity", "a&nbsp;b<!-- $ZBL$:DATETIME -->old", none},
        {"stamp cut off after a removed placeholder",
         "<img src=\"chrome://editor/content/images/tag-comment.gif\">ab <!-- $ZBL$:DATETIME -->old", none},
        // A row of '<' inside a tag whose captures a '>' ends, and one whose
        // last '<' opens a marker that switches wrapping off.
        {"rows of '<' a '>' ends inside a tag",
         "<b " + std::string(150, '<') + "> x <i <<<> \"a b\" c> d", [](PassSetup& p) { p.options.wrap_margin = 4; }},
        {"a marker after a row of '<' inside a tag",
         "<b <<<!-- ZBLDONTWRAP --> " + std::string(30, 'x') + " y z> a b c d",
         [](PassSetup& p) { p.options.wrap_margin = 10; }},
        // After such a '<' the scan of attribute values starts again: a
        // blank between quotes may wrap or not by what follows the '<'.
        {"attribute values read again after an unended capture",
         "<b t=\"a b\" <!x \"c d e f\" " + std::string(210, '<') + "e=\"f g h\" i j>",
         [](PassSetup& p) { p.options.wrap_margin = 3; }},
    };
    for (const Case& c : cases) {
        for (std::size_t block : test::kBlockSizes) {
            SCOPED_TRACE(std::string(c.what) + ", block " + std::to_string(block));
            PassSetup setup;
            setup.options.collapse_crlf = 1;
            setup.options.reset_quotes_at_para = 0;
            c.setup(setup);
            expect_same(c.input, setup, block);
        }
    }
}

// A held tag is read from masks of 64 bytes at a time: its '>', the quotes
// and '=' that open and close values, blanks a wrap may break, '<' and '&'
// are found wherever they fall, at the edges of the masks' blocks too,
// whatever column the tag starts at.
TEST(BulkRuns, SameAsOneTokenAtATimeForTagsAcrossMaskBlocks) {
    const auto tags = [](std::size_t gap) {
        const std::string x(gap, 'x'), blanks(gap, ' ');
        return std::vector<std::string>{
            "<b t=\"" + x + ">\" u=v>",          // a quoted '>' at a block's edge
            "<b" + blanks + "t='a b'>",            // blanks up to a value
            "<b t=\"" + blanks + "\" u>",         // blanks inside a value
            "<!DOCTYPE x \"" + blanks + "\" y>",  // a tag without values: quoted blanks
            "<b t=\"x\"" + blanks + "<!-- $ZBL$:UNCURLY -->",  // a marker inside the tag
            "<b t=\"" + x + "&amp;\">",           // an entity inside a value
            "<b" + x + "=\n\"a>b\">",            // a control byte before the value
            // Tags the masks of their first block read alone, and those
            // just outside that kind:
            "<b t=\"a\" u=" + x + "\"c>\" v>",    // a '"' that opens no value
            "<b u" + x + "\"c>\" v>",  // the same at a block's first byte (gap 61), no '=' before it
            "<b t=\"a\" u='" + x + ">' v=\"w\">",  // a '\'' value after a '"' one
            "<b t=\"" + x + "\" u=\"y\"" + blanks + ">",  // values, then blanks
            "<b t=\"" + x + ">",                  // a value never closed
            "<b t=\"x\" u = \"" + x + ">\">",     // blanks between '=' and the quote
            "<b t='a=\"" + x + "'>",              // '="' inside a '\'' value
            // Tags broken over lines, read again from past their start:
            "<b u v" + blanks + "w\r\n  t=\"" + x + "\" y>",  // blanks on the first line
            "<b\r\n\r\n t=" + x + ">",              // a CR right after a line end
            "<p" + x + "\r\n>",                    // a paragraph tag, left as echoed
            "<!x \"" + blanks + "\"\r\n\t\" y z\">",     // no values: quotes counted again
        };
    };
    for (std::size_t gap : {1, 60, 61, 62, 63, 64, 65, 124, 125, 126, 127, 128, 188, 189, 190, 191, 192, 196}) {
        for (const std::string& tag : tags(gap)) {
            for (std::size_t lead : {0, 9, 40}) {
                for (int margin : {0, 70, 200}) {
                    const std::string page = std::string(lead, 'w') + " " + tag + " \"z\" q";
                    SCOPED_TRACE("gap " + std::to_string(gap) + ", lead " + std::to_string(lead) + ", margin " +
                                 std::to_string(margin) + ": " + tag.substr(0, 12));
                    PassSetup setup;
                    setup.options.wrap_margin = margin;
                    for (std::size_t block : {std::size_t{7}, std::size_t{kDefaultBlockSize}}) expect_same(page, setup, block);
                    if (HasFailure()) return;
                }
            }
        }
    }
}

}  // namespace
}  // namespace zorbel
