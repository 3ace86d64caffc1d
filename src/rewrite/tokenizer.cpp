#include "rewrite/tokenizer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/byte_scan.h"
#include "rewrite/rules.h"
#include "rewrite/stamp.h"

namespace zorbel {

namespace {

void append(RewriteState& s, int c) {
    s.token_text[s.token_length++] = static_cast<unsigned char>(c);
    s.token_text[s.token_length] = 0;
}

void start_capture(RewriteState& s, unsigned char first) {
    s.token_text[0] = first;
    s.token_text[1] = 0;
    s.token_length = 1;
}

// '&' has been read: takes the bytes up to the first ';' among the next 7.
TokenCode capture_entity(RewriteState& s) {
    start_capture(s, '&');
    while (s.token_length - 1 < kEntityBound) {
        int c = read_echo(s);
        // At the end of the input every further read would give nothing.
        if (c < 0) return TOK_ENTITY;
        // A value's quote ends it also when an entity's capture reads it.
        s.tag_values.step(static_cast<unsigned char>(c));
        append(s, c);
        if (ends_entity(static_cast<unsigned char>(c))) return entity_token(s.token());
    }
    return TOK_ENTITY;
}

// Writes a fresh stamp after the DATETIME marker just echoed and drops the
// old text up to the next '<', which is put back to be read as usual.
// Returns false when the input ended through a read error.
bool write_stamp(RewriteState& s) {
    s.file_changed = 1;
    std::string stamp = format_stamp(s.clock());
    s.work_window.write(reinterpret_cast<const unsigned char*>(stamp.data()), stamp.size());
    for (;;) {
        int c = s.input_window.get();
        if (c == '<') {
            unread(s, 1);
            return true;
        }
        if (c >= 0) continue;
        if (s.input_window.failed()) return false;
        // The work file keeps what was written so far; the file itself is
        // left as it was.
        s.work_window.flush_all();
        s.stamp_unended = 1;
        return false;
    }
}

enum class Captured { kToken, kNoToken };

// The bytes of a tag capture read so far.
struct TagCapture {
    // Bytes read, and echoed as read, since the last CR LF removal; a step
    // back never goes over a removal, where the work file differs from the
    // input.
    std::uint64_t removals = 0;
    std::size_t since_removal = 0;
    bool whole = false;  // it ended at its '>'
    // Where its attribute values lie, from the bytes read so far.
    AttrValueScan values = AttrValueScan::after_tag_open();

    // The bytes that changed values, each with the count of bytes echoed
    // after the '<' up to and with it; replayed, they give the scan at any
    // point of the tag, where its reading again starts. Every echoed byte
    // is stored in the text, a folded CR LF as one: kTagBound of them, each
    // at most two bytes, and the '>'.
    static constexpr std::size_t kMostEchoed = 2 * kTagBound + 1;
    std::size_t changes = 0;
    std::uint16_t change_at[kMostEchoed];
    unsigned char change_byte[kMostEchoed];

    void step(unsigned char c, std::size_t echoed) {
        const AttrValueScan before = values;
        values.step(c);
        if (values != before) record(c, echoed);
    }

    // c changed the scan; echoed bytes of the tag, c the last, came before.
    void record(unsigned char c, std::size_t echoed) {
        if (changes == kMostEchoed) return;
        change_at[changes] = static_cast<std::uint16_t>(echoed);
        change_byte[changes++] = c;
    }

    // The scan after the first echoed bytes of the tag.
    AttrValueScan values_after(std::size_t echoed) const {
        AttrValueScan scan = AttrValueScan::after_tag_open();
        for (std::size_t k = 0; k < changes && change_at[k] <= echoed; ++k) scan.step(change_byte[k]);
        return scan;
    }
};

// How many bytes from the input position hold none of Set, looking through
// everything the window holds, so that the captures at the next many '<' of
// a long run of them find their answer here; known remembers the answer.
template <typename Set>
std::size_t clear_ahead(const RewriteState& s, RewriteState::ClearRange& known, std::size_t n) {
    const std::uint64_t at = s.input_window.position();
    if (known.restarts == s.input_window.restarts() && at >= known.from && at + n <= known.to) return n;
    const std::size_t held = s.input_window.held_ahead();
    const std::size_t clear = Set::find(s.input_window.ahead(), held);
    known = {at, at + clear, s.input_window.restarts()};
    return std::min(clear, n);
}

// Takes the next bytes of a tag capture in one step, as many as the windows
// hold and the bound allows, up to and with the '>' that ends the tag; stops
// before a CR or LF, which read_echo may remove and the capture folds.
// Exactly what reading them one at a time would do. True when the tag's '>'
// was taken.
bool capture_run(RewriteState& s, TagCapture& capture) {
    std::size_t n = std::min(s.input_window.held_ahead(), s.work_window.room_ahead());
    n = std::min(n, kTagBound - (s.token_length - 1));
    if (n == 0) return false;
    const unsigned char* in = s.input_window.ahead();
    if (s.token_length == 1) {
        // The tag's first byte says whether it can have values. A letter
        // or '/' is taken below; any other byte leaves the scan off, where
        // stepping it again changes nothing.
        capture.step(in[0], 1);
    }
    bool whole = false;
    if (capture.values.off()) {
        // No values: only its first '>' or a control byte stops it.
        const std::size_t clear = clear_ahead<TagEndStops>(s, s.no_tag_end, n);
        if (clear < n) {
            whole = in[clear] == '>';
            n = whole ? clear + 1 : clear;
        }
    } else {
        // Bytes that change where values lie are recorded as reading them
        // one at a time would record them.
        const std::size_t echoed = s.token_echoed - 1;
        n = take_tag_bytes(capture.values, in, n, whole, [&](std::size_t at) { capture.record(in[at - 1], echoed + at); });
    }
    if (n == 0) return false;
    if (s.after_newline) {
        // Any byte of 32 or above ends the state; control bytes leave it.
        for (std::size_t i = 0; i < n; ++i) {
            if (clears_after_newline(in[i])) {
                s.after_newline = 0;
                break;
            }
        }
    }
    scan::copy_short(s.token_text + s.token_length, in, n);
    s.token_length += n;
    s.token_text[s.token_length] = 0;
    scan::copy_short(s.work_window.ahead(), in, n);
    s.work_window.advance(n, n);
    s.input_window.skip(n);
    s.out_column += static_cast<std::int64_t>(n);
    s.token_echoed += n;
    capture.since_removal += n;
    return whole;
}

// Reads one byte of a tag capture through the echo stream; a CR LF pair
// stands in the text as one blank (the work file keeps both). False at the
// end of the input.
bool capture_byte(RewriteState& s, TagCapture& capture) {
    int c = read_echo(s);
    if (s.crlf_removals != capture.removals) {
        capture.removals = s.crlf_removals;
        capture.since_removal = 0;
    }
    if (c < 0) return false;
    ++s.token_echoed;
    ++capture.since_removal;
    append(s, c);
    if (s.token_length >= 2 && folds_line_end(s.token_text[s.token_length - 2], static_cast<unsigned char>(c))) {
        s.token_text[s.token_length - 2] = ' ';
        s.token_text[--s.token_length] = 0;
    }
    capture.whole = c == '>' && !capture.values.in_value();
    capture.step(static_cast<unsigned char>(c), s.token_echoed - 1);
    return true;
}

// '<' has been read: reads the tag up to its '>' (the first outside a quoted
// attribute value), at most kTagBound bytes after the '<', or to the end of
// the input.
TagCapture read_tag(RewriteState& s) {
    start_capture(s, '<');
    s.token_echoed = 1;
    TagCapture capture;
    capture.removals = s.crlf_removals;
    while (s.token_length - 1 < kTagBound && !capture.whole) {
        if (s.bulk && capture_run(s, capture)) {
            capture.whole = true;
            break;
        }
        if (s.token_length - 1 >= kTagBound) break;
        if (!capture_byte(s, capture)) break;  // end of input: a generic tag of what was read
    }
    return capture;
}

// A generic tag, one over the bound, or one cut by the end of the input:
// what follows the '<' is handed back to be read again.
TokenCode hand_back(RewriteState& s, const TagCapture& capture) {
    const std::size_t handed_back = std::min(s.token_length - 1, capture.since_removal);
    step_back(s, handed_back);
    // The reading again starts where the step back puts it, which after a
    // folded CR LF lies past the tag's first bytes: its scan of attribute
    // values starts as those bytes left it. A tag without values counts its
    // double quotes from where the reading starts.
    const std::size_t skipped = s.token_echoed - 1 - handed_back;
    s.tag_values = !capture.values.off() ? capture.values_after(skipped)
                   : skipped == 0        ? AttrValueScan::after_tag_open()
                                         : AttrValueScan::without_values();
    return TOK_TAG_OPEN;
}

// What a whole captured tag does by its kind.
Captured act_on_tag(RewriteState& s, TagKind kind, TokenCode& token) {
    switch (kind) {
        case TagKind::kPlaceholder:
            // A verbatim element shows it as written.
            if (s.verbatim) break;
            unwrite(s, s.token_echoed);
            s.file_changed = 1;
            return Captured::kNoToken;
        case TagKind::kDontWrap:
            s.no_wrap = 1;
            token = TOK_NOWRAP;
            return Captured::kToken;
        case TagKind::kDateTime:
            if (write_stamp(s)) return Captured::kNoToken;
            token = TOK_EOF;
            return Captured::kToken;
        case TagKind::kPara:
            token = TOK_PARA;
            return Captured::kToken;
        case TagKind::kAnchor:
            token = TOK_ANCHOR;
            return Captured::kToken;
        case TagKind::kScript:
        case TagKind::kStyle:
            s.in_raw = 1;
            token = kind == TagKind::kScript ? TOK_SCRIPT : TOK_STYLE;
            return Captured::kToken;
        case TagKind::kEndScript:
        case TagKind::kEndStyle:
            s.in_raw = 0;
            token = kind == TagKind::kEndScript ? TOK_END_SCRIPT : TOK_END_STYLE;
            return Captured::kToken;
        case TagKind::kUncurly:
        case TagKind::kCurly:
            // The markers switch quote rewriting, then are read again as
            // any other tag.
            s.uncurly = kind == TagKind::kUncurly;
            [[fallthrough]];
        case TagKind::kGeneric:
            break;
    }
    token = TOK_TAG_OPEN;
    return Captured::kToken;
}

// '<' has been read: captures the tag up to its '>' and classifies it.
// kNoToken when the tag disappeared (placeholder) or was a DATETIME marker.
Captured capture_tag(RewriteState& s, TokenCode& token) {
    const TagCapture capture = read_tag(s);
    if (capture.whole) {
        const Captured captured = act_on_tag(s, classify_tag(s.options, s.token()), token);
        if (captured == Captured::kNoToken || token != TOK_TAG_OPEN) return captured;
    }
    token = hand_back(s, capture);
    return Captured::kToken;
}

}  // namespace

TokenCode next_token(RewriteState& s) {
    if (s.pending_tag_end) return TOK_TAG_END;
    if (s.stamp_unended) return TOK_EOF;
    for (;;) {
        int c = read_echo(s);
        // Whether this byte stands inside a quoted attribute value of a tag
        // being read again, where '<' and '>' are ordinary bytes.
        const bool in_value = s.tag_values.in_value();
        if (c >= 0) s.tag_values.step(static_cast<unsigned char>(c));
        if (c == ' ' || c == '\t') {
            if (strips_blank(s.options, s.verbatim, s.line_has_text)) {
                StreamOut out{s};
                drop_echoed_indentation(out);
                continue;
            }
            return TOK_SPACE;
        }
        s.line_has_text = 1;
        switch (c) {
            case -1:
                return TOK_EOF;
            case '\n':
                s.out_column = 0;
                s.line_has_text = 0;
                emit_debug_prefix(s);
                continue;
            case '\r':
                continue;
            case '&':
                if (amp_starts_entity(s)) return capture_entity(s);
                break;
            case '<': {
                if (in_value) break;
                TokenCode token = TOK_EOF;
                if (capture_tag(s, token) == Captured::kToken) return token;
                continue;
            }
            case '>':
                if (in_value) break;
                s.pending_tag_end = 1;
                return TOK_TAG_END;
            default:
                // Other control bytes stay in the work file and give no token.
                if (c < 0x20) continue;
                break;
        }
        start_capture(s, static_cast<unsigned char>(c));
        if (c == '"') return TOK_DQUOTE;
        if (c == '\'') return TOK_APOS;
        return TOK_CHAR;
    }
}

}  // namespace zorbel
