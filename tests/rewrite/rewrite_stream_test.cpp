// The rewrite pass over in-memory text: input beside output, with the
// changed flag and the quote error, each case run at every block size.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "rewrite/engine_support.h"
#include "rewrite/rewrite_pass.h"

namespace zorbel {
namespace {

using test::kBlockSizes;
using test::kPinnedStamp;

using test::Rewritten;

Rewritten rewrite(const std::string& input, const std::function<void(RunSettings&)>& setup, std::size_t block,
                  bool prefixes = false) {
    return test::rewrite_text(input, test::options_after(setup), block, {}, prefixes);
}

const std::optional<std::string> kSame = std::nullopt;
const std::string x69(69, 'x');
const std::string x70(70, 'x');
const std::string kImg = "<img src=\"chrome://editor/content/images/tag-comment.gif\">";
const std::string kNoWrap = "<!-- ZBLDONTWRAP -->";

void no_para_reset(RunSettings& r) { r.options.reset_quotes_at_para = 0; }
void no_cute(RunSettings& r) { r.options.cute_quotes = 0; }
void no_nbsp(RunSettings& r) { r.options.nbsp_to_space = 0; }
void margin10(RunSettings& r) { r.options.wrap_margin = 10; }
void margin0(RunSettings& r) { r.options.wrap_margin = 0; }
void no_webx(RunSettings& r) { r.options.fix_webx = 0; }
void keep_indent(RunSettings& r) { r.options.strip_indent = 0; }
void collapse(RunSettings& r) { r.options.collapse_crlf = 1; }

struct PassCase {
    const char* what;
    std::string input;
    void (*setup)(RunSettings&);
    std::optional<std::string> output;  // kSame: the input unchanged
    bool changed;
    bool quote_error = false;
};

const PassCase kPassCases[] = {
    // Quotes alternate by position, whatever form each is written in.
    {"straight quotes", "\"a\" \"b\"", nullptr, "&#147;a&#148; &#147;b&#148;", true},
    {"the four forms alternate", "&quot;a&#147; &#148;b\"", nullptr, "&#147;a&#148; &#147;b&#148;", true},
    {"entities already right mark nothing", "&#147;a&#148;", nullptr, kSame, false},
    {"an open quote is forgotten at <P", "\"a<P>\"b\"", nullptr, "&#147;a<P>&#147;b&#148;", true},
    {"without the reset it carries on and is an error", "\"a<p>\"b\"", no_para_reset,
     "&#147;a<p>&#148;b&#147;", true, true},
    {"balanced quotes without the reset", "\"a<p>\"", no_para_reset, "&#147;a<p>&#148;", true, false},
    {"quotes inside tags stay", "<b x=\"1\">\"y\"", nullptr, "<b x=\"1\">&#147;y&#148;", true},
    {"script and style content stays", "<script>\"a' &nbsp;</script><style>\"b'</style>", nullptr, kSame, false},
    {"the UNCURLY region stays", "<!-- $ZBL$:UNCURLY -->\"a' &nbsp;<!-- $ZBL$:CURLY -->'", nullptr,
     "<!-- $ZBL$:UNCURLY -->\"a' &nbsp;<!-- $ZBL$:CURLY -->&#146;", true},
    {"cute quotes off leaves quotes, apostrophes and &nbsp;", "\"don't\"&nbsp;", no_cute, kSame, false},
    {"a quote inside a bare '&' sequence stays", "& \"x\" y", nullptr, kSame, false},

    // Apostrophes and &nbsp;.
    {"apostrophe", "don't", nullptr, "don&#146;t", true},
    {"&nbsp; becomes a blank", "a&nbsp;b", nullptr, "a b", true},
    {"&nbsp; stays with -n-", "a&nbsp;b", no_nbsp, kSame, false},
    {"the stale tail after a shortening edit at the end is cut", "a&nbsp;", nullptr, "a ", true},

    // Wrapping at the first blank beyond the margin.
    {"a blank in column 70 stays", x69 + " y", nullptr, kSame, false},
    {"a blank in column 71 breaks the line", x70 + " y", nullptr, x70 + "\r\ny", true},
    {"a second blank after the break stays", x70 + "  y", nullptr, x70 + "\r\n y", true},
    {"margin 10", "aaaa bbbb cccc dddd eeee", margin10, "aaaa bbbb cccc\r\ndddd eeee", true},
    {"margin 0 breaks at every blank", "a b\tc", margin0, "a\r\nb\r\nc", true},
    {"a tab breaks like a blank", x70 + "\ty", nullptr, x70 + "\r\ny", true},
    {"a wrap inside a long tag does not mark the file changed", "<b " + x70 + " z>", nullptr,
     "<b " + x70 + "\r\nz>", false},
    {"never inside a double-quoted value", "<b t=\"" + x70 + " z\" w>", nullptr, "<b t=\"" + x70 + " z\"\r\nw>",
     false},
    {"never inside a single-quoted value", "<b t='" + x70 + " z' w>", nullptr, "<b t='" + x70 + " z'\r\nw>", false},
    {"a quote not right after '=' protects nothing", "<b class=a\"" + x70 + " c>", nullptr,
     "<b class=a\"" + x70 + "\r\nc>", false},
    {"a declaration's quoted text is not wrapped", "<!DOCTYPE html PUBLIC \"-//W3C//DTD " + x70 + " y\" z>", nullptr,
     "<!DOCTYPE html PUBLIC \"-//W3C//DTD " + x70 + " y\"\r\nz>", false},
    {"a blank between '=' and the quote may wrap", "<b " + x70 + "= \"c d\">", nullptr,
     "<b " + x70 + "=\r\n\"c d\">", false},

    // A '>' or '<' inside a quoted attribute value is part of the value: the
    // tag goes on, and the text after it is rewritten as text.
    {"a quoted '>' does not end the tag", "<p><img alt=\"a > b\" src=\"x.gif\"> \"quoted\" text</p>", nullptr,
     "<p><img alt=\"a > b\" src=\"x.gif\"> &#147;quoted&#148; text</p>", true},
    {"a tag in a quoted href", "<a href=\"#<tt>nqmgr</tt>_structures\">\"x\"</a>", nullptr,
     "<a href=\"#<tt>nqmgr</tt>_structures\">&#147;x&#148;</a>", true},
    {"a quoted '>' past the tag bound", "<b t=\"" + std::string(250, 'x') + ">\" u>\"q\"", nullptr,
     "<b t=\"" + std::string(250, 'x') + ">\"\r\nu>&#147;q&#148;", true},
    {"a marker inside a value starts nothing", "<b t=\"<!-- ZBLDONTWRAP -->\">" + x70 + " y", nullptr,
     "<b t=\"<!-- ZBLDONTWRAP -->\">" + x70 + "\r\ny", true},
    {"a placeholder inside a value stays", "<b t='" + kImg + "'>", nullptr, kSame, false},
    {"a value that never closes keeps its quotes to the end", "<b t='x> \"q\" it\"s " + x70 + " y", nullptr, kSame,
     false},
    {"the anchor fix moves the whole tag", kNoWrap + "<a title=\"a>b\" href=x> link", nullptr,
     kNoWrap + " <a title=\"a>b\" href=x>link", false},
    {"script content is not wrapped", "<script>" + x70 + " y</script>", nullptr, kSame, false},
    // Old pages hide script code in a comment, which reads as a tag: a line
    // break in it could split a string literal.
    {"tags inside script and style content are not wrapped",
     "<script>\n<!--\nvar m = '" + x70 + " y';\n//-->\n</script><style><!-- " + x70 + " b --></style>", nullptr,
     kSame, false},
    {"a short tag inside script content is not wrapped either", "<script>" + x70 + "<b c>", nullptr, kSame,
     false},
    {"tags wrap again after the script", "<script></script><b " + x70 + " z>", nullptr,
     "<script></script><b " + x70 + "\r\nz>", false},

    // The no-wrap marker holds until the next paragraph tag; the anchor fix.
    {"no wrap until <p>", kNoWrap + x70 + " y<p>" + x70 + " z", nullptr,
     kNoWrap + x70 + " y<p>" + x70 + "\r\nz", true},
    {"no wrap inside tags either", kNoWrap + "<b " + x70 + " z>", nullptr, kSame, false},
    {"the blank after an anchor moves in front of it", kNoWrap + "<a href=x> link</a>", nullptr,
     kNoWrap + " <a href=x>link</a>", false},
    {"of two blanks only the first moves", kNoWrap + "<a href=x>  link", nullptr, kNoWrap + " <a href=x> link", false},
    {"no anchor fix with -x-", kNoWrap + "<a href=x> link", no_webx, kSame, false},
    {"no anchor fix outside no-wrap regions", "<a href=x> link", nullptr, kSame, false},
    {"an anchor with a bare LF moves", kNoWrap + "<a\nhref=x> y", nullptr, kNoWrap + " <a\nhref=x>y", false},
    {"an anchor with a folded CR LF stays", kNoWrap + "<a\r\nhref=x> y", nullptr, kSame, false},
    {"a line end between anchor and blank", kNoWrap + "<a href=x>\r\n y", keep_indent, kSame, false},
    {"a lone CR between anchor and blank", kNoWrap + "<a href=x>\r y", nullptr, kSame, false},
    {"a control byte between anchor and blank", kNoWrap + "<a href=x>\x01 y", nullptr, kSame, false},
    {"a removed placeholder between anchor and blank", kNoWrap + "<a href=x>" + kImg + " y", nullptr,
     kNoWrap + "<a href=x> y", true},
    {"a stamp and a placeholder between anchor and blank",
     kNoWrap + "<a href=x><!-- $ZBL$:DATETIME -->old" + kImg + " y", nullptr,
     kNoWrap + "<a href=x><!-- $ZBL$:DATETIME -->" + kPinnedStamp + " y", true},

    // Extra line breaks, armed from the first paragraph tag on.
    {"-e removes empty lines after <p> only", "a\r\n\r\nb<p>c\r\n\r\n\r\nd", collapse,
     "a\r\n\r\nb<p>c\r\nd", true},
    {"-e never steps back over a removed line end in a tag", "<p>x\r\n<b\n\r\nc>", collapse, "<p>x\r\n<b\nc>",
     true},

    // Odd ends.
    {"a tag cut by the end of input", "a<b c", nullptr, kSame, false},
    {"an empty file", "", nullptr, kSame, false},
    {"NUL bytes pass through", std::string("\"a\0\"", 4), nullptr, std::string("&#147;a\0&#148;", 14), true},
};

TEST(RewriteStream, InputToOutput) {
    for (const auto& c : kPassCases) {
        for (std::size_t block : kBlockSizes) {
            SCOPED_TRACE(std::string(c.what) + ", block " + std::to_string(block));
            Rewritten got = rewrite(c.input, c.setup, block);
            EXPECT_EQ(got.work, c.output.value_or(c.input));
            EXPECT_EQ(got.outcome.changed, c.changed);
            EXPECT_EQ(got.outcome.quote_error, c.quote_error);
            EXPECT_FALSE(got.outcome.read_failed);
            EXPECT_FALSE(got.outcome.write_failed);
        }
    }
}

TEST(RewriteStream, CollapseCarriesIntoTheNextFile) {
    for (std::size_t block : kBlockSizes) {
        SCOPED_TRACE("block " + std::to_string(block));
        Options options;
        options.collapse_crlf = 1;
        const RewriteMode mode{.block_size = block};

        StringSource first_in("<p>a\r\n");
        StringSink first_out;
        const CarriedState carried =
            rewrite_stream(first_in, first_out, options, CarriedState{}, test::pinned_time, mode).carried;
        EXPECT_EQ(carried.crlf_collapse_active, 1);
        EXPECT_EQ(carried.after_newline, 1);

        // Armed from the first byte, and the last line end of the file before
        // counts: the leading empty line goes.
        StringSource second_in("\r\nb\r\n\r\nc");
        StringSink second_out;
        RewriteOutcome outcome = rewrite_stream(second_in, second_out, options, carried, test::pinned_time, mode);
        EXPECT_EQ(second_out.data, "b\r\nc");
        EXPECT_TRUE(outcome.changed);
    }
}

TEST(RewriteStream, DebugPrefixesShowTheQuoteState) {
    const std::string input = "\"a\r\nb\" c\r\n\"d " + std::string(70, 'e') + " f";
    for (std::size_t block : kBlockSizes) {
        SCOPED_TRACE("block " + std::to_string(block));
        Rewritten got = rewrite(input, no_para_reset, block, true);
        EXPECT_EQ(got.work, "&#147;a\r\nq:1: b&#148; c\r\nq:0: &#147;d " + std::string(70, 'e') + "\r\nq:1: f");
        EXPECT_TRUE(got.outcome.quote_error);
    }
}

TEST(RewriteStream, OutputDoesNotDependOnBlockSize) {
    // A longer mixed text, each block size against the default.
    std::string page;
    for (int i = 0; i < 40; ++i) {
        page += "<p class=\"c" + std::to_string(i) + "\">  Don't say \"yes\"&nbsp;or &quot;no&quot; to the long line " +
                "that goes on and on past the margin, <a href=\"x.htm\">here</a> &amp; there.\r\n\r\n";
        if (i % 7 == 0) page += kNoWrap + "<a href=y> anchored</a> " + std::string(80, 'w') + " end\r\n";
        if (i % 5 == 0) page += "<script>if (a < b) x = \"q\";</script>\r\n" + kImg + "\r\n";
    }
    auto collapse_and_no_reset = [](RunSettings& r) {
        r.options.collapse_crlf = 1;
        r.options.reset_quotes_at_para = 0;
    };
    Rewritten reference = rewrite(page, collapse_and_no_reset, kDefaultBlockSize);
    EXPECT_TRUE(reference.outcome.changed);
    for (std::size_t block : kBlockSizes) {
        Rewritten got = rewrite(page, collapse_and_no_reset, block);
        EXPECT_EQ(got.work, reference.work) << "block " << block;
    }
}

}  // namespace
}  // namespace zorbel

namespace zorbel {
namespace {

// A work file on a full disk: every write past the first few bytes fails.
class FullSink : public StringSink {
public:
    bool write_at(std::uint64_t offset, const unsigned char* bytes, std::size_t n) override {
        if (offset + n > 4) return false;
        return StringSink::write_at(offset, bytes, n);
    }
};

TEST(RewriteStream, WriteFailureIsReported) {
    for (std::size_t block : test::kBlockSizes) {
        StringSource source("\"quoted\" text that does not fit");
        FullSink sink;
        RewriteOutcome outcome = rewrite_stream(source, sink, Options{}, CarriedState{}, test::pinned_time,
                                                RewriteMode{.block_size = block});
        EXPECT_TRUE(outcome.write_failed) << "block " << block;
        EXPECT_FALSE(outcome.read_failed);
    }
}

}  // namespace
}  // namespace zorbel
