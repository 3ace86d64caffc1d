// The rules of the rewrite pass, each in one place. The token-at-a-time
// reading (next_token and the main loop) and the run-taking fast path both
// decide through these functions; they differ only in how they move the
// bytes. The byte sets the fast path scans for are defined here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/options.h"
#include "platform/byte_set.h"
#include "rewrite/echo_stream.h"
#include "rewrite/tokenizer.h"

namespace zorbel {

// ---- Byte sets ----------------------------------------------------------

// The byte that ends an entity.
inline constexpr unsigned char kEntityEnd = ';';

// Bytes that end a run of words and blanks: every byte some rule may act on
// whatever the state (line ends, control bytes, tabs, quotes, '&', '<',
// '>'). A ' ' is left out: after text it matters only where it wraps.
inline constexpr ByteSet kRunStops = byte_set(0x20, {'"', '&', '\'', '<', '>'});

// Bytes inside a tag that the token-by-token reading of it acts on, that
// end it, or that open or close an attribute value: blanks and control
// bytes, '"', '\'', '=', '&', '<' and '>'.
inline constexpr ByteSet kTagBodyStops = byte_set(0x21, {'"', '\'', '=', '&', '<', '>'});

// Bytes that end a tag capture taken at once, in a tag without attribute
// values (a comment, <!DOCTYPE ...>): its '>', or a line end or other
// control byte, which the capture reads one at a time.
inline constexpr ByteSet kTagEndStops = byte_set(0x20, {'>'});

// The same in a start or end tag, where an '=' or a quote may open or close
// an attribute value and a '>' inside one ends nothing.
inline constexpr ByteSet kTagCaptureStops = byte_set(0x20, {'>', '=', '"', '\''});

// Bytes that end an entity capture taken at once: its ';' (kEntityEnd),
// or a control byte.
inline constexpr ByteSet kEntityStops = byte_set(0x20, {kEntityEnd});

using RunStops = ByteSetForms<kRunStops>;
using TagBodyStops = ByteSetForms<kTagBodyStops>;
using TagEndStops = ByteSetForms<kTagEndStops>;
using TagCaptureStops = ByteSetForms<kTagCaptureStops>;

// Inside a quoted attribute value a capture stops only at its closing quote,
// and at a control byte.
inline constexpr ByteSet kDquoteValueStops = byte_set(0x20, {'"'});
inline constexpr ByteSet kAposValueStops = byte_set(0x20, {'\''});
using DquoteValueStops = ByteSetForms<kDquoteValueStops>;
using AposValueStops = ByteSetForms<kAposValueStops>;
using EntityStops = ByteSetForms<kEntityStops>;

// ---- Quotes, apostrophes and &nbsp; ---------------------------------------

inline constexpr std::string_view kOpenQuote = "&#147;";
inline constexpr std::string_view kCloseQuote = "&#148;";
inline constexpr std::string_view kApostrophe = "&#146;";

// Quotes, apostrophes and &nbsp; are rewritten only when asked, outside
// script and style content, an UNCURLY region, and verbatim and code
// elements (when they are kept).
inline bool quotes_allowed(const Options& options, const RewriteState& s) {
    return options.cute_quotes && !s.uncurly && !s.in_raw && !s.verbatim && !s.code;
}

// A double quote in any of its forms (token) is replaced by the quote due:
// opening when none is open, closing otherwise; the quote state flips.
// changes_text is false when the token already is the quote due.
struct QuoteDue {
    std::string_view text;
    bool changes_text;
};
inline QuoteDue take_quote(int& in_quote, TokenCode token) {
    const QuoteDue due = in_quote ? QuoteDue{kCloseQuote, token != TOK_RDQUO} : QuoteDue{kOpenQuote, token != TOK_LDQUO};
    in_quote = !in_quote;
    return due;
}

// "&nbsp;" becomes a blank where quotes are rewritten and it is asked for.
inline bool nbsp_becomes_blank(const Options& options, bool quotes_are_allowed) {
    return quotes_are_allowed && options.nbsp_to_space;
}

// What a token becomes where quotes are rewritten (quotes_are_allowed): a
// double quote in any of its forms the quote due (take_quote), an
// apostrophe "&#146;", "&nbsp;" a blank when asked. text stands in place
// of the token's own bytes; rewrites is false for every other token, and
// where nothing is rewritten. The one statement of the three rules: the
// token loop and the runs taken at once both write what it says.
struct TokenRewrite {
    bool rewrites = false;
    std::string_view text;
    bool changes_text = false;  // text differs from the token's bytes
};
inline TokenRewrite rewrite_token(const Options& options, bool quotes_are_allowed, int& in_quote, TokenCode token) {
    switch (token) {
        case TOK_DQUOTE:
        case TOK_LDQUO:
        case TOK_RDQUO:
        case TOK_QUOT: {
            if (!quotes_are_allowed) return {};
            const QuoteDue due = take_quote(in_quote, token);
            return {true, due.text, due.changes_text};
        }
        case TOK_APOS:
            if (!quotes_are_allowed) return {};
            return {true, kApostrophe, true};
        case TOK_NBSP:
            if (!nbsp_becomes_blank(options, quotes_are_allowed)) return {};
            return {true, " ", true};
        default:
            return {};
    }
}

// ---- Entities ------------------------------------------------------------

// '&' starts an entity capture outside script and style content; inside,
// it is an ordinary character.
inline bool amp_starts_entity(const RewriteState& s) { return !s.in_raw; }

// An entity capture is '&' and the bytes after it up to and with the first
// ';', at most kEntityBound of them.
constexpr bool ends_entity(unsigned char c) { return c == kEntityEnd; }

// The token of a whole entity's text.
TokenCode entity_token(std::string_view text);

// ---- Indentation and wrapping ----------------------------------------------

// A blank before the first other byte of an input line is dropped, outside
// verbatim elements.
inline bool strips_blank(const Options& options, int verbatim, int line_has_text) {
    return options.strip_indent && !line_has_text && !verbatim;
}

// A blank that takes the output line past the margin (the wrap_margin
// option) becomes a line end. column is the line's length with the blank
// counted.
constexpr bool blank_wraps(std::int64_t column, std::int32_t margin) { return column > margin; }

// From an output line at column, with only text and blanks to come, how
// many bytes come before the first blank that may wrap: a blank at offset
// d (from 0) wraps exactly when d is at least this (blank_wraps at
// column + d + 1).
constexpr std::int64_t bytes_before_wrap(std::int64_t column, std::int32_t margin) {
    return column >= margin ? 0 : std::int64_t{margin} - column;
}
static_assert([] {
    for (std::int64_t column = -2; column < 12; ++column) {
        for (std::int64_t d = 0; d < 14; ++d) {
            if (blank_wraps(column + d + 1, 7) != (d >= bytes_before_wrap(column, 7))) return false;
        }
    }
    return true;
}(), "bytes_before_wrap is blank_wraps solved for the offset");

// Where a blank between tags may wrap at all: not in a no-wrap region, not
// in script or style content, not in a verbatim element.
inline bool text_blank_may_wrap(const RewriteState& s) { return !s.in_raw && !s.no_wrap && !s.verbatim; }

// In a no-wrap region, outside script and style content, a blank right
// after an anchor start tag moves in front of the tag (when asked).
inline bool blank_moves_before_anchor(const RewriteState& s, TokenCode previous) {
    return s.no_wrap && !s.in_raw && !s.verbatim && s.options.fix_webx && previous == TOK_ANCHOR;
}

// Where a blank read inside a tag may wrap: outside quoted attribute values
// (AttrValueScan) and no-wrap regions, and never in a tag met inside script or style content,
// where old pages hide their code in a comment and a line break could split
// a string literal or end a statement. The first token of a tag, right after
// its '<', never wraps.
inline bool tag_blank_may_wrap(const RewriteState& s, bool in_attr_value) {
    return !s.no_wrap && !s.in_raw && !s.verbatim && !in_attr_value;
}

// ---- Tags -----------------------------------------------------------------

// What a whole captured tag is to the tokenizer.
enum class TagKind {
    kGeneric,      // handed back to be read again after its '<'
    kPlaceholder,  // the editor's placeholder: removed
    kUncurly,      // the UNCURLY marker: quote rewriting off, then as generic
    kCurly,        // the CURLY marker: quote rewriting on, then as generic
    kDontWrap,     // TOK_NOWRAP
    kDateTime,     // a fresh stamp follows (when stamps are asked for)
    kPara,         // TOK_PARA: a tag beginning "<P"
    kAnchor,       // TOK_ANCHOR: a tag beginning "<A"
    kScript,
    kEndScript,
    kStyle,
    kEndStyle,
};

// The tags whose second byte is one of "!sS/cCiI": markers, script and
// style tags and their ends, placeholders, or generic.
TagKind classify_named_tag(const Options& options, std::string_view text);

// Classifies text, a whole tag from its '<' to its '>' with its line ends
// folded. Most tags are settled by their second byte alone.
inline TagKind classify_tag(const Options& options, std::string_view text) {
    if (text.size() < 2) return TagKind::kGeneric;
    switch (text[1] | 0x20) {
        case 'p':
            return TagKind::kPara;
        case 'a':
            return TagKind::kAnchor;
        case 's':
            // Most tags named so are other elements (<span>, <strong>):
            // their third byte rules script and style out at once.
            if (text.size() < 3 || ((text[2] | 0x20) != 'c' && (text[2] | 0x20) != 't')) return TagKind::kGeneric;
            return classify_named_tag(options, text);
        case '/' | 0x20:  // '/' itself
            // The same for end tags (</td>, </span>, </strong>): only
            // "</sc" and "</st" may end a script or style element.
            if (text.size() < 4 || (text[2] | 0x20) != 's' || ((text[3] | 0x20) != 'c' && (text[3] | 0x20) != 't')) {
                return TagKind::kGeneric;
            }
            return classify_named_tag(options, text);
        case '!' | 0x20:  // '!' itself: it has that bit already
        case 'c':
        case 'i':
            return classify_named_tag(options, text);
        default:
            return TagKind::kGeneric;
    }
}

// In a captured tag's text a CR LF stands as one blank; the work file keeps
// both bytes.
constexpr bool folds_line_end(unsigned char previous, unsigned char c) { return previous == '\r' && c == '\n'; }

// What a paragraph tag does: an open quote is forgotten (when asked), the
// no-wrap region ends, and the removal of extra line breaks is armed (when
// asked).
inline void paragraph_effects(const Options& options, int& in_quote, int& no_wrap, int& crlf_collapse_active) {
    if (options.reset_quotes_at_para) in_quote = 0;
    no_wrap = 0;
    crlf_collapse_active = options.collapse_crlf;
}

// How far a tag's bytes at in, read with the scan values, go before a
// control byte or the first limit bytes end, or up to and with the '>' that
// ends the tag (ended then set). On the way each byte that may change the
// scan ('=', a value's quotes, the byte after an '=') is stepped, and
// changed(at) is called after a step that changed it, at the count of bytes
// up to and with that byte. Most bytes are passed over a vector at a time.
template <typename Changed>
std::size_t take_tag_bytes(AttrValueScan& values, const unsigned char* in, std::size_t limit, bool& ended,
                           Changed changed) {
    for (std::size_t i = 0; i < limit;) {
        std::size_t stop = i;
        if (!values.needs_each_byte()) {
            // Inside a value only its own quote matters; outside, an '=',
            // and the '>' that would end the tag.
            stop += !values.in_value()           ? TagCaptureStops::find(in + i, limit - i)
                    : values.value_quote() == '"' ? DquoteValueStops::find(in + i, limit - i)
                                                  : AposValueStops::find(in + i, limit - i);
            if (stop == limit) return limit;
        }
        const unsigned char c = in[stop];
        if (c < 0x20) return stop;
        if (c == '>' && !values.in_value()) {
            ended = true;
            return stop + 1;
        }
        const AttrValueScan before = values;
        values.step(c);
        if (values != before) changed(stop + 1);
        i = stop + 1;
    }
    return limit;
}

// What reading a generic tag's bytes again, token by token, would do.
// unchanged is true when that reading would copy them as they are: a '>'
// outside attribute values, and before it no line end or other control
// byte, no '<' outside a value, no entity, and no blank outside a value
// that would wrap. last_char is then the last byte that sets the token
// text, or -1 (set when wrapped too).
struct TagRereading {
    bool unchanged = false;
    int last_char = -1;
    // Not unchanged only because blanks outside values wrap: the reading
    // makes each of them a line end (HeldTag::wraps) and copies the rest.
    bool wrapped = false;
};

// A held tag's bytes are at most kTagBound and its '>': four blocks.
inline constexpr std::size_t kHeldTagBlocks = 4;
static_assert(kHeldTagBlocks * kBlockBytes > kTagBound + 1);

// A tag whose bytes after its '<' (body) are held, read from masks of its
// bytes: end is the index of its '>' (the first outside a quoted attribute
// value), or limit when a control byte comes first or no such '>' is among
// the first limit bytes; kind is the whole tag's (classify_tag), and for a
// generic tag reading says what continue_tag would do with the bytes up to
// and with that '>', read from column (the output column after the '<').
// limit is at most kTagBound + 1.
struct HeldTag {
    std::size_t end;
    TagRereading reading;
    TagKind kind = TagKind::kGeneric;
    // With reading.wrapped: bit b of the masks, 64 to a word, set when the
    // blank at body[b] becomes a line end.
    std::uint64_t wraps[kHeldTagBlocks] = {};
};
HeldTag read_held_tag(const RewriteState& s, const unsigned char* body, std::size_t limit, std::int64_t column);

// The commonest case of read_held_tag, for callers that know the first
// byte of kTagBodyStops in the body: when it is a '>' with a name byte
// before it, the reading copies the tag as it is and leaves that byte as
// the token text.
inline TagRereading reread_name_only(const unsigned char* body, std::size_t first_stop) {
    if (first_stop > 0 && body[first_stop] == '>') return {true, body[first_stop - 1]};
    return {};
}

// ---- Actions on the output ------------------------------------------------

// What a rule does to the output, written once for both readings: the token
// loop's output is the work window through the echo stream (StreamOut), a
// run's is its own view of the window. An Out has
//   void emit(std::string_view text)  writes text, counted in the column;
//   void unwrite(std::size_t n)       moves back over the n bytes written
//                                     last (the column goes down by n when
//                                     it is at least n); they stay held past
//                                     the position;
//   void unwrite_text(std::string_view text)  unwrite by the text's length;
//   void newline()                    writes CR LF and starts an output line;
//   void mark_changed()               the file is worth committing.
// They are always inlined: a run keeps its state in registers, which a call
// taking it would send to memory.

// A token whose text, already echoed, is replaced by what rewrite_token
// says.
template <typename Out>
[[gnu::always_inline]] inline void write_rewrite(Out& out, std::string_view echoed, const TokenRewrite& rewrite) {
    if (!rewrite.rewrites) return;
    out.unwrite_text(echoed);
    out.emit(rewrite.text);
    if (rewrite.changes_text) out.mark_changed();
}

// A blank just echoed that wraps (blank_wraps) becomes a line end. A wrap
// in text makes the file worth committing; a wrap inside a tag alone does
// not.
template <typename Out>
[[gnu::always_inline]] inline void wrap_echoed_blank(Out& out, bool in_text) {
    if (in_text) out.mark_changed();
    out.unwrite(1);
    out.newline();
}

// A blank of indentation just echoed (strips_blank) is dropped.
template <typename Out>
[[gnu::always_inline]] inline void drop_echoed_indentation(Out& out) {
    out.unwrite(1);
    out.mark_changed();
}

}  // namespace zorbel
