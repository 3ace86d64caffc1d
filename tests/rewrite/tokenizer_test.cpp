// The tokenizer: each input is run through next_token to its end, the way
// the rewrite pass drives it (pending_tag_end cleared after every token), and
// the tokens and the exact work-file bytes are compared.
//
// Tokens are written compactly: runs of TOK_CHAR as their characters, SP for
// TOK_SPACE, END for TOK_TAG_END, DQ and AP for the quote characters, and the
// captured text in parentheses for tags and entities: OPEN(<b x>),
// PARA(<p>), ENT(&amp;).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "rewrite/engine_support.h"
#include "rewrite/tokenizer.h"

namespace zorbel {
namespace {

using test::EngineHarness;
using test::kBlockSizes;
using test::kPinnedStamp;

std::string render(TokenCode token, const RewriteState& s) {
    std::string text(s.token());
    switch (token) {
        case TOK_TAG_OPEN: return "OPEN(" + text + ")";
        case TOK_TAG_END: return "END";
        case TOK_SPACE: return "SP";
        case TOK_LDQUO: return "LDQUO";
        case TOK_RDQUO: return "RDQUO";
        case TOK_QUOT: return "QUOT";
        case TOK_ENTITY: return "ENT(" + text + ")";
        case TOK_NBSP: return "NBSP";
        case TOK_DQUOTE: return "DQ";
        case TOK_APOS: return "AP";
        case TOK_PARA: return "PARA(" + text + ")";
        case TOK_NOWRAP: return "NOWRAP";
        case TOK_ANCHOR: return "ANCHOR(" + text + ")";
        case TOK_SCRIPT: return "SCRIPT";
        case TOK_END_SCRIPT: return "/SCRIPT";
        case TOK_STYLE: return "STYLE";
        case TOK_END_STYLE: return "/STYLE";
        default: return "?";
    }
}

struct Tokenized {
    std::string tokens;
    std::string work;
    int changed = 0;
};

// Option changes for a case, as bits.
enum Setup : unsigned {
    kDefaults = 0,
    kKeepIndent = 1,      // strip_indent off
    kKeepEditorJunk = 2,  // dump_editor_junk off
    kNoStamps = 4,        // datetime_stamps off
    kRemovalArmed = 8,    // crlf_collapse_active on from the start
    kDebugPrefixes = 16,
};

Tokenized tokenize(const std::string& input, unsigned setup, std::size_t block) {
    EngineHarness h(input, block);
    if (setup & kKeepIndent) h.settings.options.strip_indent = 0;
    if (setup & kKeepEditorJunk) h.settings.options.dump_editor_junk = 0;
    if (setup & kNoStamps) h.settings.options.datetime_stamps = 0;
    if (setup & kRemovalArmed) h.carried.crlf_collapse_active = 1;
    RewriteState& s = h.start((setup & kDebugPrefixes) != 0);
    Tokenized result;
    bool in_chars = false;
    for (TokenCode token; (token = next_token(s)) != TOK_EOF;) {
        s.pending_tag_end = 0;
        // A tag handed back is read again with its attribute values found
        // up to its '>', as continue_tag reads it.
        if (token == TOK_TAG_END) s.tag_values = AttrValueScan::none();
        if (token == TOK_CHAR) {
            if (!in_chars && !result.tokens.empty()) result.tokens += ' ';
            result.tokens += static_cast<char>(s.token_text[0]);
            in_chars = true;
            continue;
        }
        if (!result.tokens.empty()) result.tokens += ' ';
        result.tokens += render(token, s);
        in_chars = false;
    }
    EXPECT_EQ(next_token(s), TOK_EOF);
    result.changed = s.file_changed;
    result.work = h.work();
    return result;
}

struct TokenCase {
    const char* what;
    std::string input;
    unsigned setup;
    std::string tokens;
    std::optional<std::string> work;  // kSame: the same as the input
    int changed;
};

const std::optional<std::string> kSame = std::nullopt;
const std::string kImg = "<img src=\"chrome://editor/content/images/tag-comment.gif\">";
const std::string kComment = "<comment xmlns=\"http://disruptive-innovations.com/zoo/nvu\">";
const std::string kStamp = kPinnedStamp;

const TokenCase kTokenCases[] = {
    // Entities: exact comparison, a bound of 7 characters after the '&'.
    {"the four entities of the table", "&#147;&#148;&quot;&nbsp;", kDefaults, "LDQUO RDQUO QUOT NBSP", kSame, 0},
    {"other spellings are plain entities", "&NBSP;&#x93;&#0147;&#146;", kDefaults,
     "ENT(&NBSP;) ENT(&#x93;) ENT(&#0147;) ENT(&#146;)", kSame, 0},
    {"a long name ends after 7 characters", "&abcdefgh;", kDefaults, "ENT(&abcdefg) h;", kSame, 0},
    {"a bare '&' swallows quotes and tags", "& \"x\" <b>c", kDefaults, "ENT(& \"x\" <b) END c", kSame, 0},
    {"'&' at the end of the input", "a&b", kDefaults, "a ENT(&b)", kSame, 0},
    {"'&' in script and style is a character", "<script>&amp;\"'</script><style>&x;</style>&lt;", kDefaults,
     "SCRIPT &amp; DQ AP /SCRIPT STYLE &x; /STYLE ENT(&lt;)", kSame, 0},

    // Tags: the kinds reported whole, and the rest handed back to be read again.
    {"paragraph-like tags", "<p><P class=x><pre><param>", kDefaults,
     "PARA(<p>) PARA(<P class=x>) PARA(<pre>) PARA(<param>)", kSame, 0},
    {"anchor-like tags", "<a href=x><ABBR><address><area>", kDefaults,
     "ANCHOR(<a href=x>) ANCHOR(<ABBR>) ANCHOR(<address>) ANCHOR(<area>)", kSame, 0},
    {"closing p and a are generic", "</p></a>", kDefaults, "OPEN(</p>) /p END OPEN(</a>) /a END", kSame, 0},
    {"a generic tag is read again inside", "<b x=\"1 2\">", kDefaults, "OPEN(<b x=\"1 2\">) b SP x= DQ 1 SP 2 DQ END",
     kSame, 0},
    // A '>' or '<' inside a quoted attribute value is an ordinary byte.
    {"a '>' inside a quoted value ends no tag", "<b t=\">\">", kDefaults, "OPEN(<b t=\">\">) b SP t= DQ > DQ END",
     kSame, 0},
    {"single quotes, the other quote inside, blanks and a line end around '='",
     "<b t = \r\n'a>\"<i>' u=\"'>\">x", kDefaults,
     "OPEN(<b t =  'a>\"<i>' u=\"'>\">) SP t SP = SP AP a> DQ <i> AP SP u= DQ AP > DQ END x", kSame, 0},
    {"a quote not right after '=' opens nothing", "<b t=x\"y>z\">", kDefaults,
     "OPEN(<b t=x\"y>) b SP t=x DQ y END z DQ END", kSame, 0},
    {"a form feed between '=' and the quote is passed over, as an HTML parser does", "<b t=\f\">\">", kDefaults,
     "OPEN(<b t=\f\">\">) b SP t= DQ > DQ END", kSame, 0},
    {"comments and declarations end at their first '>'", "<!-- a=\">\" --><?x a='>'>", kDefaults,
     "OPEN(<!-- a=\">) !-- SP a= DQ END DQ SP -- END OPEN(<?x a='>) ?x SP a= AP END AP END", kSame, 0},
    {"an anchor with a tag in its quoted href is taken whole", "<a href=\"#<tt>x</tt>_y\">z", kDefaults,
     "ANCHOR(<a href=\"#<tt>x</tt>_y\">) z", kSame, 0},
    {"a value that never closes runs to the end of the input", "<b t=\"x>y <i>", kDefaults,
     "OPEN(<b t=\"x>y <i>) b SP t= DQ x>y SP <i>", kSame, 0},
    {"an entity that reads the closing quote still ends the value", "<b t=\"A&T\" u>v<i>", kDefaults,
     "OPEN(<b t=\"A&T\" u>) b SP t= DQ A ENT(&T\" u>v<) i END", kSame, 0},
    {"script tags in any case switch raw mode", "<SCRIPT type=x>&</Script>&;", kDefaults,
     "SCRIPT & /SCRIPT ENT(&;)", kSame, 0},
    // Told from script and style by the third byte first: the rest are
    // other elements.
    {"names that start like script and style are generic", "<s><st></s></sx><sTyLe></STYLE>", kDefaults,
     "OPEN(<s>) s END OPEN(<st>) st END OPEN(</s>) /s END OPEN(</sx>) /sx END STYLE /STYLE", kSame, 0},
    {"'>' in running text", "a>b", kDefaults, "a END b", kSame, 0},
    {"control bytes give no token and stay", std::string("a\x01\0b", 4), kDefaults, "ab", kSame, 0},
    {"a NUL inside a tag is part of its text", std::string("<p\0x>", 5), kDefaults,
     std::string("PARA(<p\0x>)", 11), kSame, 0},

    // End of input inside a tag: only the bytes really read are read again.
    {"a tag cut by the end of input", "a<b c", kDefaults, "a OPEN(<b c) b SP c", kSame, 0},
    {"a lone '<' at the end", "x<", kDefaults, "x OPEN(<)", kSame, 0},

    // CR LF in tags: one blank in the text, both bytes in the work file.
    {"a paragraph tag over two lines", "<p\r\n  class=x>", kDefaults, "PARA(<p   class=x>)", kSame, 0},
    {"a generic tag over two lines is re-read from the text's length back", "<b\r\n  x>", kDefaults,
     "OPEN(<b   x>) x END", "<b\r\nx>", 1},
    {"a removed CR LF inside a tag is never stepped back over", "<b\n\r\nc>", kRemovalArmed, "OPEN(<b\nc>) c END",
     "<b\nc>", 1},
    {"a removal at the very end of a cut tag", "<b\n\r", kRemovalArmed, "OPEN(<b\n)", "<b\n", 1},

    // Markers: the whole tag, any case, CR LF standing for a blank.
    {"no-wrap marker in other case", "<!-- zblDontWrap -->", kDefaults, "NOWRAP", kSame, 0},
    {"no-wrap marker over two lines", "<!--\r\nZBLDONTWRAP -->", kDefaults, "NOWRAP", kSame, 0},
    {"a near miss is a generic tag", "<!-- ZBLDONTWRAP  -->", kDefaults,
     "OPEN(<!-- ZBLDONTWRAP  -->) !-- SP ZBLDONTWRAP SP SP -- END", kSame, 0},

    // Indentation: leading blanks go on every line; a lone CR ends no line.
    {"indents are stripped on every line", "  a b\r\n\t c", kDefaults, "a SP bc", "a b\r\nc", 1},
    {"indents stay with strip_indent off", " a", kKeepIndent, "SP a", kSame, 0},
    {"a lone CR does not start a line", "a\r  b", kDefaults, "a SP SP b", kSame, 0},
    {"indents in script content go too", "<script>\r\n  x", kDefaults, "SCRIPT x", "<script>\r\nx", 1},

    // Editor placeholders.
    {"image placeholder removed", "a" + kImg + "b", kDefaults, "ab", "ab", 1},
    {"image placeholder in capitals removed",
     "a<IMG SRC=\"CHROME://EDITOR/CONTENT/IMAGES/TAG-COMMENT.GIF\">b", kDefaults, "ab", "ab", 1},
    {"image placeholder kept with dump_editor_junk off", kImg, kKeepEditorJunk,
     "OPEN(" + kImg + ") img SP src= DQ chrome://editor/content/images/tag-comment.gif DQ END", kSame, 0},
    {"comment placeholder removed whatever the option", "a" + kComment + "b", kKeepEditorJunk, "ab", "ab", 1},
    {"comment placeholder over two lines removed whole", "a<comment\r\nxmlns=\"http://disruptive-innovations.com/zoo/nvu\">b",
     kDefaults, "ab", "ab", 1},
    {"comment placeholder with a NUL before the namespace removed",
     std::string("<comment \0 ", 11) + kComment.substr(9), kDefaults, "", "", 1},
    {"comment placeholder is exact in case", "<COMMENT xmlns=\"http://disruptive-innovations.com/zoo/nvu\">", kDefaults,
     "OPEN(<COMMENT xmlns=\"http://disruptive-innovations.com/zoo/nvu\">) COMMENT SP "
     "xmlns= DQ http://disruptive-innovations.com/zoo/nvu DQ END",
     kSame, 0},

    // The date-time stamp replaces everything up to the next '<'.
    {"stamp replaces the old one and the line end",
     "<!-- $ZBL$:DATETIME -->Monday 1/5/09 0:07 am\r\n<!-- $ZBL$:CLOSE -->", kDefaults,
     "OPEN(<!-- $ZBL$:CLOSE -->) !-- SP $ZBL$:CLOSE SP -- END",
     "<!-- $ZBL$:DATETIME -->" + kStamp + "<!-- $ZBL$:CLOSE -->", 1},
    {"stamp written even when nothing old follows", "<!-- $zbl$:datetime --><b>", kDefaults, "OPEN(<b>) b END",
     "<!-- $zbl$:datetime -->" + kStamp + "<b>", 1},
    {"stamps off: the marker is an ordinary tag", "<!-- $ZBL$:DATETIME -->old<i>", kNoStamps,
     "OPEN(<!-- $ZBL$:DATETIME -->) !-- SP $ZBL$:DATETIME SP -- END old OPEN(<i>) i END", kSame, 0},

    // Debug prefixes follow line feeds read between tokens, not those of a
    // tag reported whole.
    {"debug prefixes", "a\nb<p\nc>\n<b\nx>", kDebugPrefixes, "ab PARA(<p\nc>) OPEN(<b\nx>) bx END",
     "a\nq:0: b<p\nc>\nq:0: <b\nq:0: x>", 0},
};

TEST(Tokenizer, TokensAndWorkFileBytes) {
    for (const auto& c : kTokenCases) {
        for (std::size_t block : kBlockSizes) {
            SCOPED_TRACE(std::string(c.what) + ", block " + std::to_string(block));
            Tokenized got = tokenize(c.input, c.setup, block);
            EXPECT_EQ(got.tokens, c.tokens);
            EXPECT_EQ(got.work, c.work.value_or(c.input));
            EXPECT_EQ(got.changed, c.changed);
        }
    }
}

TEST(Tokenizer, TagBound) {
    // '<', 200 characters and '>' (202 in all) is still one tag; one
    // character more and it is a generic tag, not tested for its kind.
    std::string body200 = "p" + std::string(199, 'x');
    for (std::size_t block : kBlockSizes) {
        SCOPED_TRACE("block " + std::to_string(block));
        Tokenized whole = tokenize("<" + body200 + ">", kDefaults, block);
        EXPECT_EQ(whole.tokens, "PARA(<" + body200 + ">)");

        std::string body201 = body200 + "x";
        Tokenized over = tokenize("<" + body201 + ">", kDefaults, block);
        EXPECT_EQ(over.tokens, "OPEN(<" + body201 + ") " + body201 + " END");
        EXPECT_EQ(over.work, "<" + body201 + ">");

        // A CR LF pair counts one towards the bound.
        std::string folded = "p\r\n" + std::string(198, 'x');
        Tokenized with_pair = tokenize("<" + folded + ">", kDefaults, block);
        EXPECT_EQ(with_pair.tokens, "PARA(<p " + std::string(198, 'x') + ">)");
    }
}

TEST(Tokenizer, MarkerFlags) {
    EngineHarness h("<!-- $ZBL$:uncurly --><!-- ZBLDONTWRAP --><style>");
    RewriteState& s = h.start();
    EXPECT_EQ(next_token(s), TOK_TAG_OPEN);
    EXPECT_EQ(s.uncurly, 1);
    while (next_token(s) != TOK_TAG_END) {
    }
    s.pending_tag_end = 0;
    EXPECT_EQ(next_token(s), TOK_NOWRAP);
    EXPECT_EQ(s.no_wrap, 1);
    EXPECT_EQ(next_token(s), TOK_STYLE);
    EXPECT_EQ(s.in_raw, 1);

    EngineHarness curly("<!-- $ZBL$:UNCURLY --><!-- $ZBL$:CURLY -->");
    RewriteState& c = curly.start();
    for (TokenCode t; (t = next_token(c)) != TOK_EOF;) c.pending_tag_end = 0;
    EXPECT_EQ(c.uncurly, 0);
}

TEST(Tokenizer, StampWithoutFollowingTagEndsTheInput) {
    EngineHarness h("x<!-- $ZBL$:DATETIME -->old stamp\r\n");
    RewriteState& s = h.start();
    EXPECT_EQ(next_token(s), TOK_CHAR);
    EXPECT_EQ(next_token(s), TOK_EOF);
    EXPECT_EQ(s.stamp_unended, 1);
    EXPECT_EQ(next_token(s), TOK_EOF);
    // What was written so far stands in the work file.
    EXPECT_EQ(h.sink.data, "x<!-- $ZBL$:DATETIME -->" + kStamp);
}

TEST(Tokenizer, PendingTagEndAnswersWithoutReading) {
    EngineHarness h(">a");
    RewriteState& s = h.start();
    EXPECT_EQ(next_token(s), TOK_TAG_END);
    EXPECT_EQ(next_token(s), TOK_TAG_END);
    s.pending_tag_end = 0;
    EXPECT_EQ(next_token(s), TOK_CHAR);
}

}  // namespace
}  // namespace zorbel
