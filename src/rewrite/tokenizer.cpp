#include "rewrite/tokenizer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/report.h"
#include "platform/byte_scan.h"
#include "rewrite/stamp.h"

namespace zorbel {

namespace {

unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(static_cast<unsigned char>(text[i])) != lower(static_cast<unsigned char>(prefix[i]))) return false;
    }
    return true;
}

bool equals_ignoring_case(std::string_view text, std::string_view other) {
    return text.size() == other.size() && starts_with_ignoring_case(text, other);
}

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
        append(s, c);
        if (c != ';') continue;
        std::string_view text = s.token();
        if (text == "&#147;") return TOK_LDQUO;
        if (text == "&#148;") return TOK_RDQUO;
        if (text == "&quot;") return TOK_QUOT;
        if (text == "&nbsp;") return TOK_NBSP;
        return TOK_ENTITY;
    }
    return TOK_ENTITY;
}

bool is_placeholder(const RewriteState& s, std::string_view text) {
    if (s.run.options.dump_editor_junk && equals_ignoring_case(text, kImagePlaceholder)) return true;
    return text.starts_with(kCommentPlaceholderStart) &&
           text.find(kCommentPlaceholderNamespace) != std::string_view::npos;
}

// Writes a fresh stamp after the DATETIME marker just echoed and drops the
// old text up to the next '<', which is put back to be read as usual.
// Returns false when the input ended through a read error.
bool write_stamp(RewriteState& s) {
    s.file_changed = 1;
    std::string stamp = format_stamp(s.run.clock());
    s.work_file.write(reinterpret_cast<const unsigned char*>(stamp.data()), stamp.size());
    for (;;) {
        int c = s.input_file.get();
        if (c == '<') {
            unread(s, 1);
            return true;
        }
        if (c >= 0) continue;
        if (s.input_file.failed()) return false;
        // The work file keeps what was written so far; the file itself is
        // left as it was.
        s.work_file.flush_all();
        report(s.run.console, kExitFatalReport, "very lengthy " + std::string(kMarkerDateTime));
        return false;
    }
}

enum class Captured { kToken, kNoToken };

// Takes the next bytes of a tag capture in one step, as many as the windows
// hold and the bound allows, up to and with the first '>'; stops before a CR
// or LF, which read_echo may remove and the capture folds. Exactly what
// reading them one at a time would do. True when a '>' was taken.
bool capture_run(RewriteState& s, std::size_t& since_removal) {
    std::size_t n = std::min(s.input_file.held_ahead(), s.work_file.room_ahead());
    n = std::min(n, kTagBound - (s.token_length - 1));
    if (n == 0) return false;
    const unsigned char* in = s.input_file.ahead();
    const std::uint64_t at = s.input_file.position();
    auto& known = s.no_tag_end;
    std::size_t clear = n;  // bytes from the position with no '>', CR or LF
    if (known.restarts != s.input_file.restarts() || at < known.from || at + n > known.to) {
        // Look through everything held, so the captures at the next many
        // '<' of a long run of them find their answer here.
        clear = s.input_file.held_ahead();
        for (unsigned char stop : {'>', '\n', '\r'}) {
            if (const void* found = std::memchr(in, stop, clear)) {
                clear = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - in);
            }
        }
        known = {at, at + clear, s.input_file.restarts()};
    }
    bool whole = false;
    if (clear < n) {
        // The capture ends at a '>', or stops before a CR or LF.
        whole = in[clear] == '>';
        n = whole ? clear + 1 : clear;
    }
    if (n == 0) return false;
    if (s.after_newline) {
        // Any byte of 32 or above ends the state; control bytes leave it.
        for (std::size_t i = 0; i < n; ++i) {
            if (in[i] >= 32) {
                s.after_newline = 0;
                break;
            }
        }
    }
    scan::copy_short(s.token_text + s.token_length, in, n);
    s.token_length += n;
    s.token_text[s.token_length] = 0;
    scan::copy_short(s.work_file.ahead(), in, n);
    s.work_file.advance(n, n);
    s.input_file.skip(n);
    s.out_column += static_cast<std::int64_t>(n);
    s.token_echoed += n;
    since_removal += n;
    return whole;
}

// '<' has been read: captures the tag up to its '>' and classifies it.
// kNoToken when the tag disappeared (placeholder) or was a DATETIME marker.
Captured capture_tag(RewriteState& s, TokenCode& token) {
    start_capture(s, '<');
    s.token_echoed = 1;
    // Bytes read, and echoed as read, since the last CR LF removal; a step
    // back never goes over a removal, where the work file differs from the input.
    std::uint64_t removals = s.crlf_removals;
    std::size_t since_removal = 0;
    bool whole = false;
    while (s.token_length - 1 < kTagBound) {
        if (s.bulk && capture_run(s, since_removal)) {
            whole = true;
            break;
        }
        if (s.token_length - 1 >= kTagBound) break;
        int c = read_echo(s);
        if (s.crlf_removals != removals) {
            removals = s.crlf_removals;
            since_removal = 0;
        }
        if (c < 0) break;  // end of input: a generic tag of what was read
        ++s.token_echoed;
        ++since_removal;
        append(s, c);
        if (c == '\n' && s.token_length >= 2 && s.token_text[s.token_length - 2] == '\r') {
            // A CR LF pair stands in the text as one blank; the work file keeps both.
            s.token_text[s.token_length - 2] = ' ';
            s.token_text[--s.token_length] = 0;
        }
        if (s.token_text[s.token_length - 1] == '>') {
            whole = true;
            break;
        }
    }

    if (whole) {
        // is_generic_tag tells the tags below apart the same way: the two
        // change together.
        std::string_view text = s.token();
        if (is_placeholder(s, text)) {
            unwrite(s, s.token_echoed);
            s.file_changed = 1;
            return Captured::kNoToken;
        }
        if (equals_ignoring_case(text, kMarkerUncurly)) s.uncurly = 1;
        if (equals_ignoring_case(text, kMarkerCurly)) s.uncurly = 0;
        if (equals_ignoring_case(text, kMarkerDontWrap)) {
            s.no_wrap = 1;
            token = TOK_NOWRAP;
            return Captured::kToken;
        }
        if (s.run.options.datetime_stamps && equals_ignoring_case(text, kMarkerDateTime)) {
            if (write_stamp(s)) return Captured::kNoToken;
            token = TOK_EOF;
            return Captured::kToken;
        }
        token = TOK_EOF;
        if (starts_with_ignoring_case(text, "<P")) {
            token = TOK_PARA;
        } else if (starts_with_ignoring_case(text, "<A")) {
            token = TOK_ANCHOR;
        } else if (starts_with_ignoring_case(text, "<script")) {
            s.in_raw = 1;
            token = TOK_SCRIPT;
        } else if (starts_with_ignoring_case(text, "</script")) {
            s.in_raw = 0;
            token = TOK_END_SCRIPT;
        } else if (starts_with_ignoring_case(text, "<style")) {
            s.in_raw = 1;
            token = TOK_STYLE;
        } else if (starts_with_ignoring_case(text, "</style")) {
            s.in_raw = 0;
            token = TOK_END_STYLE;
        }
        if (token != TOK_EOF) return Captured::kToken;
    }

    // A generic tag, one over the bound, or one cut by the end of the input:
    // hand back what follows the '<' to be read again.
    const std::size_t handed_back = std::min(s.token_length - 1, since_removal);
    step_back(s, handed_back);
    s.tag_handed_back = whole ? handed_back : 0;
    token = TOK_TAG_OPEN;
    return Captured::kToken;
}

}  // namespace

bool is_generic_tag(const RewriteState& s, std::string_view text) {
    if (text.size() < 2) return true;
    // Every tag acted on is told apart by its second byte first: most tags
    // are settled by one comparison.
    switch (lower(static_cast<unsigned char>(text[1]))) {
        case 'p':
        case 'a':
            return false;
        case '!':
            return !equals_ignoring_case(text, kMarkerUncurly) && !equals_ignoring_case(text, kMarkerCurly) &&
                   !equals_ignoring_case(text, kMarkerDontWrap) &&
                   !(s.run.options.datetime_stamps && equals_ignoring_case(text, kMarkerDateTime));
        case 's':
            return !starts_with_ignoring_case(text, "<script") && !starts_with_ignoring_case(text, "<style");
        case '/':
            return !starts_with_ignoring_case(text, "</script") && !starts_with_ignoring_case(text, "</style");
        case 'c':
        case 'i':
            return !is_placeholder(s, text);
        default:
            return true;
    }
}

TokenCode next_token(RewriteState& s) {
    if (s.pending_tag_end) return TOK_TAG_END;
    for (;;) {
        int c = read_echo(s);
        if (c == ' ' || c == '\t') {
            if (s.run.options.strip_indent && !s.line_has_text) {
                unwrite(s, 1);
                s.file_changed = 1;
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
                if (!s.in_raw) return capture_entity(s);
                break;
            case '<': {
                TokenCode token = TOK_EOF;
                if (capture_tag(s, token) == Captured::kToken) return token;
                continue;
            }
            case '>':
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
