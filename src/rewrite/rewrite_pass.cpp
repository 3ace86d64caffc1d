#include "rewrite/rewrite_pass.h"

#include <cstdint>
#include <cstring>

#include "rewrite/plain_run.h"

namespace zorbel {

namespace {

constexpr std::string_view kOpenQuote = "&#147;";
constexpr std::string_view kCloseQuote = "&#148;";
constexpr std::string_view kApostrophe = "&#146;";

// The quote's own text has been stepped back over: write the quote due.
// A quote entity already of the right form is written back unchanged.
void quote_step(RewriteState& s, TokenCode token) {
    if (!s.in_quote) {
        emit(s, kOpenQuote);
        if (token != TOK_LDQUO) s.file_changed = 1;
    } else {
        emit(s, kCloseQuote);
        if (token != TOK_RDQUO) s.file_changed = 1;
    }
    s.in_quote = !s.in_quote;
}

// Where the last anchor start tag ended, to tell whether a blank follows its
// '>' directly.
struct AnchorEnd {
    std::uint64_t input = 0;
    std::uint64_t work = 0;
    bool movable = false;  // the work file holds exactly the tag's text
};

// Moves the blank just read in front of the anchor tag before it. Only when
// the blank comes straight after the tag's '>', with nothing read or written
// between, and the tag stands in the work file as its text (no CR LF folded
// into it): otherwise moving back by the text's length would land on other
// bytes, and the blank is left where it is.
void fix_anchor(RewriteState& s, const AnchorEnd& anchor) {
    if (!anchor.movable || s.input_file.position() != anchor.input + 1 ||
        s.work_file.position() != anchor.work + 1) {
        return;
    }
    std::string_view tag = s.token();
    unwrite(s, tag.size() + 1);
    emit(s, " ");
    emit(s, tag);
}

// A whole tag the tokenizer handed back to be read again, taken again at
// once when its text holds nothing the token-by-token reading would act on:
// no line end or other control byte, no '<', no entity, and no blank
// outside an attribute value that would wrap. The state is left as
// continue_tag and the '>' it hands on would leave it. False, with nothing
// done, for any other tag.
bool retake_plain_tag(RewriteState& s) {
    const std::size_t k = s.tag_handed_back;
    if (k == 0 || k != s.token_length - 1) return false;
    if (s.input_file.held_ahead() < k || s.work_file.room_ahead() < k) return false;
    const unsigned char* text = s.input_file.ahead();  // the tag after its '<'
    if (text[k - 1] != '>') return false;
    const bool may_wrap = !s.no_wrap && !s.in_raw;
    const std::int64_t margin = s.run.options.wrap_margin;
    const std::int64_t column = s.out_column;
    bool in_attr_quote = false;
    int last_char = -1;  // the last byte that would set the token text
    for (std::size_t j = 0; j + 1 < k; ++j) {
        const unsigned char c = text[j];
        if (c == ' ' || c == '\t') {
            // The tag's first token never wraps; later blanks count the
            // column with themselves.
            if (j > 0 && may_wrap && !in_attr_quote && column + static_cast<std::int64_t>(j) + 1 > margin) {
                return false;
            }
            continue;
        }
        if (c < 0x20 || c == '<' || (c == '&' && !s.in_raw)) return false;
        if (c == '"') in_attr_quote = !in_attr_quote;
        last_char = c;
    }
    std::memcpy(s.work_file.ahead(), text, k);
    s.work_file.advance(k, k);
    s.input_file.skip(k);
    s.out_column += static_cast<std::int64_t>(k);
    s.line_has_text = 1;
    s.after_newline = 0;
    if (last_char >= 0) {
        s.token_text[0] = static_cast<unsigned char>(last_char);
        s.token_text[1] = 0;
        s.token_length = 1;
    }
    s.tag_handed_back = 0;
    s.pending_tag_end = 0;
    return true;
}

// Whether a blank read inside a tag may become a line end: outside
// attribute values and no-wrap regions, and never in a tag met inside script
// or style content, where old pages hide their code in a comment and a line
// break could split a string literal or end a statement.
bool tag_blank_wraps(const RewriteState& s, bool in_attr_quote) {
    return !s.no_wrap && !s.in_raw && !in_attr_quote;
}

}  // namespace

void continue_tag(RewriteState& s, TokenCode first) {
    int in_attr_quote = first == TOK_DQUOTE;
    if (s.pending_tag_end) {
        // The first token was the '>' of an empty tag.
        s.pending_tag_end = 0;
        return;
    }
    for (TokenCode token = first; token != TOK_TAG_END;) {
        if (s.bulk) {
            // Inside a tag a blank wraps outside attribute values; an
            // apostrophe means nothing here.
            (void)take_plain_run(s, PlainRunRules{tag_blank_wraps(s, in_attr_quote), QuoteRule::kEnds, QuoteRule::kPlain});
        }
        token = next_token(s);
        if (token == TOK_EOF) return;
        if (token == TOK_DQUOTE) in_attr_quote = !in_attr_quote;
        if (token == TOK_SPACE && tag_blank_wraps(s, in_attr_quote) && s.out_column > s.run.options.wrap_margin) {
            // A wrap inside a tag alone does not make the file worth committing.
            unwrite(s, 1);
            emit_newline(s);
        }
    }
    // pending_tag_end stays set: the main loop takes the '>' once more.
}

RewriteOutcome rewrite_stream(Run& run, ByteSource& input, ByteSink& work, bool debug_prefixes, bool bulk) {
    const Options& options = run.options;
    RewriteState s(run, input, work, debug_prefixes);
    s.bulk = bulk;
    AnchorEnd anchor;
    TokenCode token = TOK_EOF;
    for (;;) {
        // A blank right after an anchor tag may move in front of it: that
        // one goes through the switch below.
        if (s.bulk && token != TOK_ANCHOR) {
            const bool quotes_allowed = options.cute_quotes && !s.uncurly && !s.in_raw;
            const QuoteRule quotes = quotes_allowed ? QuoteRule::kRewritten : QuoteRule::kPlain;
            const PlainRunRules rules{.wrap_blanks = !s.in_raw && !s.no_wrap,
                                      .dquote = quotes,
                                      .apos = quotes,
                                      .entities = true,
                                      .tags = true,
                                      .wrap_here = true};
            TokenCode last = take_plain_run(s, rules);
            if (last != TOK_EOF) token = last;
        }
        TokenCode previous = token;
        token = next_token(s);
        if (token == TOK_EOF) break;
        s.pending_tag_end = 0;
        bool quotes_allowed = options.cute_quotes && !s.uncurly && !s.in_raw;
        switch (token) {
            case TOK_TAG_OPEN:
                if (s.bulk && retake_plain_tag(s)) {
                    // As if its '>' had just been taken.
                    token = TOK_TAG_END;
                    break;
                }
                continue_tag(s, next_token(s));
                break;
            case TOK_SPACE:
                if (s.in_raw) break;
                if (s.no_wrap) {
                    if (options.fix_webx && previous == TOK_ANCHOR) fix_anchor(s, anchor);
                    break;
                }
                // The blank is counted in the column already; it becomes a line end.
                if (s.out_column > options.wrap_margin) {
                    s.file_changed = 1;
                    unwrite(s, 1);
                    emit_newline(s);
                }
                break;
            case TOK_LDQUO:
            case TOK_RDQUO:
            case TOK_QUOT:
                if (quotes_allowed) {
                    unwrite_text(s, s.token());
                    quote_step(s, token);
                }
                break;
            case TOK_DQUOTE:
                if (quotes_allowed) {
                    unwrite(s, 1);
                    quote_step(s, token);
                }
                break;
            case TOK_NBSP:
                if (quotes_allowed && options.nbsp_to_space) {
                    unwrite_text(s, s.token());
                    emit(s, " ");
                    s.file_changed = 1;
                }
                break;
            case TOK_APOS:
                if (quotes_allowed) {
                    s.file_changed = 1;
                    unwrite(s, 1);
                    emit(s, kApostrophe);
                }
                break;
            case TOK_PARA:
                if (options.reset_quotes_at_para) s.in_quote = 0;
                s.no_wrap = 0;
                s.crlf_collapse_active = options.collapse_crlf;
                break;
            case TOK_ANCHOR:
                anchor.input = s.input_file.position();
                anchor.work = s.work_file.position();
                anchor.movable = s.token_echoed == s.token_length;
                break;
            case TOK_SCRIPT:
                s.in_raw = 1;
                break;
            case TOK_END_SCRIPT:
                s.in_raw = 0;
                break;
            default:
                break;
        }
    }

    // Edits that shorten the text near the end leave stale bytes behind the
    // final write position; they never reach the file.
    s.work_file.finish_at_position();

    RewriteOutcome outcome;
    outcome.changed = s.file_changed != 0;
    outcome.quote_error = s.in_quote && !options.reset_quotes_at_para;
    outcome.read_failed = s.input_file.failed();
    outcome.write_failed = s.work_file.failed();
    run.after_newline = s.after_newline;
    run.crlf_collapse_active = s.crlf_collapse_active;
    return outcome;
}

}  // namespace zorbel
