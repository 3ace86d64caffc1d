// The tokenizer of the rewrite pass. It reads every byte through the echo
// stream, so each byte already stands in the work file when it is looked at,
// and besides splitting the text it makes four edits of its own: it removes
// leading indentation, removes the editor's placeholder tags, writes a fresh
// date-time stamp after each DATETIME marker, and records what the marker
// comments and the script and style tags switch on or off.
#pragma once

#include <string_view>

#include "rewrite/echo_stream.h"

namespace zorbel {

// The codes keep the numbers the tool's design gives them, so that a code
// reads the same in a trace and in the design; 14 is not used there (no
// token has it), and renumbering the codes after it would only make them
// differ.
enum TokenCode : int {
    TOK_EOF = 0,
    TOK_TAG_OPEN = 1,    // a tag handed back to be read again after its '<'
    TOK_TAG_END = 2,     // a '>' read outside a capture
    TOK_CHAR = 3,
    TOK_SPACE = 4,       // a blank or tab that is not stripped
    TOK_LDQUO = 5,       // "&#147;"
    TOK_RDQUO = 6,       // "&#148;"
    TOK_QUOT = 7,        // "&quot;"
    TOK_ENTITY = 8,      // any other '&' sequence
    TOK_NBSP = 9,        // "&nbsp;"
    TOK_DQUOTE = 10,     // '"'
    TOK_APOS = 11,       // '\''
    TOK_PARA = 12,       // a tag beginning "<P"
    TOK_NOWRAP = 13,     // the DONTWRAP marker
    TOK_ANCHOR = 15,     // a tag beginning "<A"
    TOK_SCRIPT = 16,
    TOK_END_SCRIPT = 17,
    TOK_STYLE = 18,
    TOK_END_STYLE = 19,
};

// The marker comments, compared with a whole captured tag ignoring case.
inline constexpr std::string_view kMarkerDontWrap = "<!-- ZBLDONTWRAP -->";
inline constexpr std::string_view kMarkerUncurly = "<!-- $ZBL$:UNCURLY -->";
inline constexpr std::string_view kMarkerCurly = "<!-- $ZBL$:CURLY -->";
inline constexpr std::string_view kMarkerDateTime = "<!-- $ZBL$:DATETIME -->";
inline constexpr std::string_view kMarkerClose = "<!-- $ZBL$:CLOSE -->";

// The editor's placeholder tags: the image one is compared whole, ignoring
// case; the comment one is a tag beginning with "<comment" that holds the
// namespace attribute, both in exact case.
inline constexpr std::string_view kImagePlaceholder = "<img src=\"chrome://editor/content/images/tag-comment.gif\">";
inline constexpr std::string_view kCommentPlaceholderStart = "<comment";
inline constexpr std::string_view kCommentPlaceholderNamespace = "xmlns=\"http://disruptive-innovations.com/zoo/nvu\"";

// The next token of the input. When the input ends inside a DATETIME
// stamp's old text the result is TOK_EOF, now and on every later call, and
// stamp_unended is set, unless the input ended through a read error; then
// the input window reports the failure.
TokenCode next_token(RewriteState& s);

}  // namespace zorbel
