// Runs of ordinary bytes taken in one step. Most of a page is words, blanks
// and line ends on which the rewrite pass does nothing but copy the byte and
// count the column; taking such a run at once, straight from the input
// window into the work window, leaves the state exactly as taking its bytes
// one token at a time would, at a fraction of the cost. The run scans for
// the bytes of kRunStops, where some rule may act, and copies what lies
// before them in one step; at such a byte it decides by the same functions
// of rules.h the token loop decides by, or leaves the byte to the token loop.
#pragma once

#include "rewrite/echo_stream.h"
#include "rewrite/tokenizer.h"

namespace zorbel {

// What a quote or apostrophe does to a run.
enum class QuoteRule {
    kSteps,      // inside a tag: taken like a letter, and fed to the scan of
                 // attribute values, which it may open or close
    kPlain,      // its token changes nothing here: taken like a letter
    kRewritten,  // taken and rewritten as the main loop does: a typographic
                 // quote (opening or closing by the quote state) or "&#146;"
};

// What may stand in a run besides words and blanks, which differs between
// the main loop and the inside of a tag.
struct PlainRunRules {
    // A blank beyond the wrap margin becomes a line end (wrap_here), or
    // ends the run. Inside a tag this is what holds where the run starts:
    // each quote it takes may open or close a value and change it.
    bool wrap_blanks;
    QuoteRule dquote;
    QuoteRule apos;
    // Entities are taken as the main loop takes them: the quote entities
    // rewritten like '"' when quotes are rewritten, "&nbsp;" made a blank
    // when asked; otherwise an entity ends the run.
    bool entities = false;
    // A whole tag the tokenizer would hand back unchanged, with nothing in
    // it the token-by-token reading acts on, and, outside a no-wrap region,
    // a whole paragraph or anchor tag, are taken as the main loop takes
    // them; any other tag ends the run. For the main loop only.
    bool tags = false;
    // A blank that wraps is made a line end in the run, as the token loop
    // makes it; otherwise it ends the run.
    bool wrap_here = false;
    // The run reads the inside of a tag handed back: it feeds the bytes it
    // takes, its quotes among them, to the scan of attribute values, and
    // takes a '<' outside a value whose capture is a generic tag handed back
    // whole, as reading it token by token would take it.
    bool tag_body = false;
};

// Takes, from the bytes already held by both windows, the longest run that
// next_token would turn into TOK_CHAR and TOK_SPACE tokens (and bytes it
// consumes without a token: line ends, control bytes, stripped indentation)
// on which the caller does nothing, or, by the rules, rewrites quotes, takes
// entities and tags, and wraps blanks as the main loop would. Stops before
// anything else: any other tag, an entity or quote the rules leave to the
// caller, a blank that would wrap where the run may not wrap it, a CR that
// may be removed, a line end that needs a debug prefix. Returns the token of
// the last byte taken that gives one (TOK_CHAR, TOK_SPACE, TOK_DQUOTE,
// TOK_APOS, an entity's token, or TOK_TAG_END after a tag), or TOK_EOF when
// none did. Never reads from or writes to the streams' files.
TokenCode take_plain_run(RewriteState& s, const PlainRunRules& rules);

}  // namespace zorbel
