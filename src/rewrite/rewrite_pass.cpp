#include "rewrite/rewrite_pass.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "rewrite/plain_run.h"
#include "rewrite/rules.h"

namespace zorbel {

namespace {

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
    if (!anchor.movable || s.input_window.position() != anchor.input + 1 ||
        s.work_window.position() != anchor.work + 1) {
        return;
    }
    std::string_view tag = s.token();
    unwrite(s, tag.size() + 1);
    emit(s, " ");
    emit(s, tag);
}

// The rules of a run of plain bytes taken in the main loop.
PlainRunRules main_loop_run(const RewriteState& s) {
    const QuoteRule quotes = quotes_allowed(s.options, s) ? QuoteRule::kRewritten : QuoteRule::kPlain;
    return PlainRunRules{.wrap_blanks = text_blank_may_wrap(s),
                         .dquote = quotes,
                         .apos = quotes,
                         .entities = true,
                         .tags = true,
                         .wrap_here = true};
}

// Inside a tag a blank wraps outside attribute values. The run feeds the
// scan of attribute values the bytes it takes, and either quote may open or
// close a value: from each on, the blanks after it may wrap or not. It
// starts after the tag's first token, which never wraps.
PlainRunRules tag_body_run(const RewriteState& s) {
    return PlainRunRules{.wrap_blanks = tag_blank_may_wrap(s, s.tag_values.protects_blanks()),
                         .dquote = QuoteRule::kSteps,
                         .apos = QuoteRule::kSteps,
                         .wrap_here = true,
                         .tag_body = true};
}

// A blank in the main loop, already echoed and counted in the column.
void on_space(RewriteState& s, TokenCode previous, const AnchorEnd& anchor) {
    if (text_blank_may_wrap(s)) {
        if (blank_wraps(s.out_column, s.options.wrap_margin)) {
            StreamOut out{s};
            wrap_echoed_blank(out, true);
        }
    } else if (blank_moves_before_anchor(s, previous)) {
        fix_anchor(s, anchor);
    }
}

// Acts on one token of the main loop; returns the token as the loop is to
// remember it.
TokenCode act_on_token(RewriteState& s, TokenCode token, TokenCode previous, AnchorEnd& anchor) {
    const bool quotes = quotes_allowed(s.options, s);
    switch (token) {
        case TOK_TAG_OPEN:
            continue_tag(s, next_token(s));
            break;
        case TOK_SPACE:
            on_space(s, previous, anchor);
            break;
        case TOK_LDQUO:
        case TOK_RDQUO:
        case TOK_QUOT:
        case TOK_DQUOTE:
        case TOK_NBSP:
        case TOK_APOS: {
            // The token text is what was echoed: the quote or apostrophe
            // byte, or the entity.
            StreamOut out{s};
            write_rewrite(out, s.token(), rewrite_token(s.options, quotes, s.in_quote, token));
            break;
        }
        case TOK_PARA:
            paragraph_effects(s.options, s.in_quote, s.no_wrap, s.crlf_collapse_active);
            break;
        case TOK_ANCHOR:
            anchor.input = s.input_window.position();
            anchor.work = s.work_window.position();
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
    return token;
}

// With keep_verbatim: feeds the element scan the input read since it was
// last fed, and takes its word for the bytes after. Called before every run
// and token of the main loop; runs stop at every tag that may open or close
// an element, so no rule acts on a byte before the scan has passed the tags
// in front of it. Bytes no longer held are line ends, blanks and control
// bytes that next_token passed over in one call, or a stamp's old text; in
// text none of them opens or closes an element.
void follow_elements(RewriteState& s) {
    if (!s.options.keep_verbatim) return;
    const std::uint64_t at = s.input_window.position();
    if (at <= s.elements_fed) return;
    const std::size_t held = std::min<std::uint64_t>(at - s.elements_fed, s.input_window.held_behind());
    s.elements.feed(s.input_window.ahead() - held, held);
    s.elements_fed = at;
    s.verbatim = s.elements.in_verbatim();
    s.code = s.elements.in_code();
}

// The main loop over one file's tokens.
void rewrite_tokens(RewriteState& s) {
    AnchorEnd anchor;
    TokenCode token = TOK_EOF;
    for (;;) {
        follow_elements(s);
        // A blank right after an anchor tag may move in front of it
        // (blank_moves_before_anchor): that one goes through act_on_token.
        if (s.bulk && token != TOK_ANCHOR) {
            const TokenCode last = take_plain_run(s, main_loop_run(s));
            if (last != TOK_EOF) token = last;
        }
        const TokenCode previous = token;
        token = next_token(s);
        if (token == TOK_EOF) return;
        s.pending_tag_end = 0;
        token = act_on_token(s, token, previous, anchor);
    }
}

}  // namespace

void continue_tag(RewriteState& s, TokenCode first) {
    if (s.pending_tag_end) {
        // The first token was the '>' of an empty tag.
        s.pending_tag_end = 0;
        s.tag_values = AttrValueScan::none();
        return;
    }
    for (TokenCode token = first; token != TOK_TAG_END;) {
        if (s.bulk) (void)take_plain_run(s, tag_body_run(s));
        token = next_token(s);
        if (token == TOK_EOF) break;
        if (token == TOK_SPACE && tag_blank_may_wrap(s, s.tag_values.protects_blanks()) &&
            blank_wraps(s.out_column, s.options.wrap_margin)) {
            StreamOut out{s};
            wrap_echoed_blank(out, false);
        }
    }
    s.tag_values = AttrValueScan::none();
    // pending_tag_end stays set: the main loop takes the '>' once more.
}

RewriteOutcome rewrite_stream(ByteSource& input, ByteSink& work, const Options& options, CarriedState carried,
                              const Clock& clock, const RewriteMode& mode) {
    RewriteState s(options, carried, clock, input, work, mode.block_size, mode.debug_prefixes);
    s.bulk = mode.bulk;
    rewrite_tokens(s);

    RewriteOutcome outcome;
    outcome.changed = s.file_changed != 0;
    outcome.read_failed = s.input_window.failed();
    outcome.carried = s.carried();
    if (s.stamp_unended) {
        // The pass stopped inside a stamp's old text: the work file holds
        // what was written up to there.
        outcome.stamp_unended = true;
        outcome.write_failed = s.work_window.failed();
        return outcome;
    }
    // Edits that shorten the text near the end leave stale bytes behind the
    // final write position; they never reach the file.
    s.work_window.finish_at_position();
    outcome.quote_error = s.in_quote && !options.reset_quotes_at_para;
    outcome.write_failed = s.work_window.failed();
    return outcome;
}

}  // namespace zorbel
