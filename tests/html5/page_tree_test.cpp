// The judge itself: it accepts exactly the rewrites zorbel makes on purpose
// and catches the faults a tag reader can make. Pairs written by hand, no
// tidying involved.
#include <gtest/gtest.h>

#include <string>

#include "html5/page_tree.h"

namespace zorbel::html5 {
namespace {

struct Pair {
    const char* what;
    std::string before;
    std::string after;
    bool same;
    std::size_t unprotected_differences = 0;
};

const Pair kPairs[] = {
    // Rewrites zorbel makes on purpose.
    {"white space runs, indentation, CR LF", "<p>a  b\n\n   c  \n</p>", "<p>a b\r\nc\r\n</p>", true},
    {"quotes, apostrophe and &nbsp;", "<p>\"a\" it's&nbsp;&quot;x&quot;</p>",
     "<p>&#147;a&#148; it&#146;s &#147;x&#148;</p>", true},
    {"a wrap in text", "<p>one two three</p>", "<p>one two\r\nthree</p>", true},
    {"the last line gets its line end", "<p>a \n\t</p></html\n>", "<p>a\r\n</p></html\r\n>\r\n", true},
    {"a wrap between attributes", "<img alt=\"a\" src=\"x.gif\">", "<img alt=\"a\"\r\nsrc=\"x.gif\">", true},
    {"the anchor fix", "<p>See:<a href=\"m.htm\"> How</a></p>", "<p>See: <a href=\"m.htm\">How</a></p>", true},
    {"line ends in a value lose the blanks around them", "<p title=\"a  \n\n    b\">x",
     "<p title=\"a\r\nb\">x", true},
    {"script indentation and empty lines", "<script>\n  if (a) {\n\n    go();\n  }\n</script>",
     "<script>\r\nif (a) {\r\ngo();\r\n}\r\n</script>", true},
    {"the stamp after a DATETIME marker",
     "<p>At <!-- $ZBL$:DATETIME -->Monday 3/2/26 9:15 am<!-- $ZBL$:CLOSE --> now</p>",
     "<p>At <!-- $zbl$:datetime -->Thursday 12/10/26 1:05 am<!-- $ZBL$:CLOSE --> now</p>", true},
    {"comments are not compared", "<!-- a > b --><p>x", "<!-- a >\r\nb --><p>x", true},
    {"raw text keeps the rewrites' entities", "<noembed>\"a\" it's</noembed>",
     "<noembed>&#147;a&#148; it&#146;s</noembed>", true},
    {"<pre> white space is counted, not failed", "<pre>  a \"q\"\n  b c</pre><pre>same</pre>",
     "<pre>a &#147;q&#148;\r\nb\r\nc</pre><pre>same</pre>", true, 1},

    // Faults.
    {"a blank in a value turned into a line break", "<p title=\"a b\">x", "<p title=\"a\r\nb\">x", false},
    {"a quoted > ends the tag (the issue's reproduction)", "<p><img alt=\"a > b\" src=\"x.gif\"> \"quoted\" text</p>",
     "<p><img alt=\"a > b&#147; src=&#148;x.gif&#147;> &#148;quoted&#147; text</p>", false},
    {"an element lost", "<p>a<b>b</b></p>", "<p>a b</p>", false},
    {"an attribute lost", "<p class=\"x\" id=\"y\">a", "<p class=\"x\">a", false},
    {"two words joined", "<p>a b</p>", "<p>ab</p>", false},
    {"a blank moved behind an end tag", "<p><b>a</b> c</p>", "<p><b>a </b>c</p>", false},
    {"a blank in a script turned into a line break", "<script>return x;</script>",
     "<script>return\r\nx;</script>", false},
    {"a quote rewritten in a style", "<style>p { font: \"x\" }</style>", "<style>p { font: &#147;x&#148; }</style>",
     false},
    {"text after the stamp's end is compared", "<!-- $ZBL$:DATETIME -->a</b>kept",
     "<!-- $ZBL$:DATETIME -->b</b>lost", false},
    {"inside <pre>, more than white space", "<pre>a <b>x</b></pre>", "<pre>a x</pre>", false},
    {"a doctype identifier split", "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\"><p>x",
     "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD\r\nHTML 4.01//EN\"><p>x", false},
};

TEST(PageTree, AcceptsThePurposefulRewritesAndCatchesFaults) {
    for (const Pair& p : kPairs) {
        SCOPED_TRACE(p.what);
        const Verdict v = judge(p.before, p.after);
        EXPECT_EQ(v.same, p.same) << v.difference;
        EXPECT_EQ(v.unprotected_differences, p.unprotected_differences) << v.unprotected_excerpt;
    }
}

TEST(PageTree, ReportsBothSidesAtTheFirstDifference) {
    const Verdict v = judge("<p>one <b>two</b> three</p>", "<p>one <b>tw0</b> three</p>");
    ASSERT_FALSE(v.same);
    EXPECT_NE(v.difference.find("before:"), std::string::npos) << v.difference;
    EXPECT_NE(v.difference.find("two"), std::string::npos) << v.difference;
    EXPECT_NE(v.difference.find("tw0"), std::string::npos) << v.difference;
}

TEST(PageTree, CountsEveryElementIncludingImpliedOnes) {
    // html, head, body, p, b
    EXPECT_EQ(read_tree("<p>a<b>b</b>").elements, 5u);
}

TEST(PageTree, DeepNestingIsWalkedWithoutRecursion) {
    std::string page;
    for (int i = 0; i < 20000; ++i) page += "<span>";
    EXPECT_TRUE(judge(page, page).same);
}

}  // namespace
}  // namespace zorbel::html5
