// Verbatim and code elements kept (PageOptions::keep_verbatim): what each
// element keeps, where its boundaries lie, and that the rest of the page is
// tidied as before. Each page goes through both passes of the library.
#include <gtest/gtest.h>

#include <string>

#include "zorbel/zorbel.h"

namespace zorbel {
namespace {

const std::string x70(70, 'x');

struct VerbatimCase {
    const char* what;
    std::string page;
    std::string bytes;  // with keep_verbatim on and the other defaults
};

const VerbatimCase kCases[] = {
    // Inside <pre>, <textarea>, <listing> and <xmp> nothing changes but line
    // ends, and only where the line pass changes the page elsewhere.
    {"a page the line pass changes elsewhere gets CR LF inside too", "<pre>\n  a  \n\n</pre>\n  b  \n",
     "<pre>\r\n  a  \r\n\r\n</pre>\r\nb\r\n"},
    {"a code sample keeps its blanks, empty lines, quotes and &nbsp;",
     "<pre>\n  if (a == \"x\") {   \n\n      it's&nbsp;" + x70 + " y\n  }\n</pre>\n",
     "<pre>\n  if (a == \"x\") {   \n\n      it's&nbsp;" + x70 + " y\n  }\n</pre>\n"},
    {"each verbatim element, in any case", "<TEXTAREA>\n  \"a\"\n</textarea><listing> 'b'\n\n</LISTING><xmp>\n  c  \n</xmp>\n",
     "<TEXTAREA>\n  \"a\"\n</textarea><listing> 'b'\n\n</LISTING><xmp>\n  c  \n</xmp>\n"},
    {"a placeholder inside stays", "<pre><img src=\"chrome://editor/content/images/tag-comment.gif\"></pre>\n",
     "<pre><img src=\"chrome://editor/content/images/tag-comment.gif\"></pre>\n"},
    {"tags inside a <pre> leave it verbatim; after its end the page is tidied",
     "<pre><b>\"a\"</b>\n   x</pre>\n   \"b\"  \n",
     "<pre><b>\"a\"</b>\r\n   x</pre>\r\n&#147;b&#148;\r\n"},
    {"a long tag inside a <pre> is not wrapped either", "<pre><span " + x70 + " t>x</span></pre>\n",
     "<pre><span " + x70 + " t>x</span></pre>\n"},
    {"marker comments keep working inside", "<pre><!-- $ZBL$:DATETIME -->old<!-- $ZBL$:CLOSE --></pre>\n",
     "<pre><!-- $ZBL$:DATETIME -->Thursday 7/4/13 3:05 pm<!-- $ZBL$:CLOSE --></pre>\n"},

    // Inside <code>, <kbd>, <samp>, <tt> and <var> quotes, apostrophes and
    // &nbsp; stay; indentation and wrapping as in other text.
    {"code elements keep quotes and &nbsp;", "\"a\" <code>\"b\" it's&nbsp;</code> <KBD>'c'</KBD> <tt>\"d\"</tt> \"e\"\n",
     "&#147;a&#148; <code>\"b\" it's&nbsp;</code> <KBD>'c'</KBD> <tt>\"d\"</tt> &#147;e&#148;\n"},
    {"code elements are wrapped and lose indentation", "  <samp>" + x70 + " \"x\"</samp> <var>y</var>\n",
     "<samp>" + x70 + "\r\n\"x\"</samp> <var>y</var>\n"},

    // Where the elements start and end.
    {"a <pre> inside a comment starts nothing", "<!-- <pre> -->\n  \"a\"\n", "<!-- <pre> -->\n&#147;a&#148;\n"},
    {"nor one inside script content", "<script>document.write(\"<pre>\")</script>\n  \"a\"\n",
     "<script>document.write(\"<pre>\")</script>\n&#147;a&#148;\n"},
    {"nor one inside a textarea, whose end it does not hide",
     "<textarea><pre> \"a\"</textarea>\n  \"b\"\n", "<textarea><pre> \"a\"</textarea>\n&#147;b&#148;\n"},
    {"nor one inside a quoted attribute value", "<b title=\"<pre>\">\n  \"a\"\n", "<b title=\"<pre>\">\n&#147;a&#148;\n"},
    {"a '>' in a quoted value does not end the <pre> tag", "<pre title=\"a > b\">  \"a\"  \n\n</pre>\n",
     "<pre title=\"a > b\">  \"a\"  \n\n</pre>\n"},
    {"an end tag with none open is ignored", "</pre>\n  \"a\"\n", "</pre>\n&#147;a&#148;\n"},
    {"nested elements end with the outer one", "<pre><pre>x</pre>  \"a\"  \n</pre>\n  \"b\"\n",
     "<pre><pre>x</pre>  \"a\"  \n</pre>\n&#147;b&#148;\n"},
    {"a comment ends at its own end, not at the first '>'", "<!-- a > <pre> -->\n  \"a\"\n",
     "<!-- a > <pre> -->\n&#147;a&#148;\n"},
    {"a name that only begins like one is no element", "<preview>\n  \"a\"\n<codex>\"b\"</codex>\n",
     "<preview>\n&#147;a&#148;\n<codex>&#147;b&#148;</codex>\n"},
};

TEST(KeepVerbatim, WhatEachElementKeeps) {
    for (const VerbatimCase& c : kCases) {
        SCOPED_TRACE(c.what);
        PageOptions options;
        options.keep_verbatim = true;
        Tidier tidier(options);
        tidier.set_clock([] { return StampTime{4, 6, 4, 2013, 15, 5}; });
        EXPECT_EQ(tidier.tidy(c.page).bytes, c.bytes);
    }
}

TEST(KeepVerbatim, OffByDefaultAsInZorbel) {
    const TidiedPage page = tidy_page("<pre>\n  \"a\"\n\n</pre>\n");
    EXPECT_EQ(page.bytes, "<pre>\r\n&#147;a&#148;\r\n</pre>\r\n");
}

}  // namespace
}  // namespace zorbel
