#include "rewrite/plain_run.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/byte_scan.h"

namespace zorbel {

namespace {

enum ByteClass : unsigned char {
    kText,     // a TOK_CHAR
    kBlank,    // ' ' or '\t'
    kNewline,  // '\n'
    kReturn,   // '\r'
    kControl,  // other bytes below 0x20: echoed, no token
    kAmp,      // '&': an entity, or a TOK_CHAR inside script and style
    kDquote,
    kApos,
    kStop,     // '<' and '>'
};

constexpr std::array<ByteClass, 256> make_classes() {
    std::array<ByteClass, 256> classes{};
    for (int c = 0; c < 256; ++c) classes[c] = c < 0x20 ? kControl : kText;
    classes[' '] = kBlank;
    classes['\t'] = kBlank;
    classes['\n'] = kNewline;
    classes['\r'] = kReturn;
    classes['&'] = kAmp;
    classes['"'] = kDquote;
    classes['\''] = kApos;
    classes['<'] = kStop;
    classes['>'] = kStop;
    return classes;
}

constexpr std::array<ByteClass, 256> kClasses = make_classes();

// Flags, in a word of eight input bytes, those that end a run of text and
// blanks: anything but kText and ' '. Setting bit 0 of every byte makes
// '&' (0x26) and '\'' (0x27) one value and nothing else that value;
// setting bit 1 does the same for '<' (0x3C) and '>' (0x3E).
constexpr std::uint64_t text_ends(std::uint64_t x) {
    static_assert(('&' | 1) == '\'' && ('<' | 2) == '>');
    return scan::below(x, 0x20) | scan::equal(x, '"') | scan::equal(x | scan::kOnes, '\'') |
           scan::equal(x | (scan::kOnes * 2), '>');
}

// How the inside of a tag is read when a tag is taken whole.
enum TagByteClass : unsigned char {
    kTagPlain,   // copied; the last one before the '>' is the token text left behind
    kTagBlank,   // ' ' or '\t': may wrap outside attribute values
    kTagQuote,   // '"': starts or ends an attribute value
    kTagEnd,     // '>'
    kTagAmp,     // '&': an entity outside script and style
    kTagRefuse,  // '<' and control bytes: left to the token loop
};

constexpr std::array<TagByteClass, 256> make_tag_classes() {
    std::array<TagByteClass, 256> classes{};
    for (int c = 0; c < 256; ++c) classes[c] = c < 0x20 ? kTagRefuse : kTagPlain;
    classes[' '] = kTagBlank;
    classes['\t'] = kTagBlank;
    classes['"'] = kTagQuote;
    classes['>'] = kTagEnd;
    classes['&'] = kTagAmp;
    classes['<'] = kTagRefuse;
    return classes;
}

constexpr std::array<TagByteClass, 256> kTagClasses = make_tag_classes();

// A whole paragraph or anchor tag at tag[0] == '<' (its name begins with
// 'p' or 'a', either case), within the held bytes and the capture bound,
// with no line end or other control byte: the tokenizer gives it a token of
// its own and does not read it again. Returns its length with '<' and '>',
// or 0 for any other tag.
std::size_t para_or_anchor_length(const unsigned char* tag, std::size_t held) {
    const std::size_t limit = std::min(held, kTagBound + 1);
    if (limit < 2) return 0;
    const unsigned char name = tag[1] | 0x20;
    if (name != 'p' && name != 'a') return 0;
    std::size_t j = 1;
#if defined(__SSE2__)
    for (; j + 16 <= limit; j += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tag + j));
        const __m128i stops = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(0x1F)), x),
                                           _mm_cmpeq_epi8(x, _mm_set1_epi8('>')));
        if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stops))) {
            j += static_cast<std::size_t>(std::countr_zero(mask));
            return tag[j] == '>' ? j + 1 : 0;
        }
    }
#endif
    for (; j < limit; ++j) {
        if (tag[j] == '>') return j + 1;
        if (tag[j] < 0x20) return 0;
    }
    return 0;
}

// A whole tag at tag[0] == '<', within the held bytes, that the tokenizer
// would capture and hand back as a generic tag and that the token-by-token
// reading would then copy unchanged: no line end or other control byte, no
// '<', no entity, no blank outside an attribute value that would wrap, and
// at least one byte other than a blank before its '>' (that byte is left as
// the token text). column is the column before the '<'. Returns the tag's
// length with '<' and '>' and sets last_char, or 0 for any other tag.
std::size_t plain_tag_length(const RewriteState& s, const unsigned char* tag, std::size_t held, std::int64_t column,
                             int& last_char) {
    // Blanks in tags met inside script or style content never wrap: a line
    // break there can split a string literal.
    const bool may_wrap = !s.no_wrap && !s.in_raw;
    const std::int64_t margin = s.run.options.wrap_margin;
    const bool amp_plain = s.in_raw != 0;
    const std::size_t limit = std::min(held, kTagBound + 1);  // the '>' is at most the bound's byte
    bool in_attr_quote = false;
    std::size_t j = 1;
#if defined(__SSE2__)
    if (held >= 17) {
        // Most tags end within sixteen bytes with nothing but name bytes
        // before their '>': one look settles those.
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tag + 1));
        const __m128i stops = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(0x20)), x), _mm_cmpeq_epi8(x, _mm_set1_epi8('"'))),
            _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('&')),
                         // '<' with bit 1 set is '>', and nothing else is
                         _mm_cmpeq_epi8(_mm_or_si128(x, _mm_set1_epi8(2)), _mm_set1_epi8('>'))));
        if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stops))) {
            const std::size_t first = 1 + static_cast<std::size_t>(std::countr_zero(mask));
            if (first > 1 && tag[first] == '>') {
                const std::size_t length = first + 1;
                if (!is_generic_tag(s, std::string_view(reinterpret_cast<const char*>(tag), length))) return 0;
                last_char = tag[first - 1];
                return length;
            }
        }
    }
#endif
    for (;; ++j) {
        if (j >= limit) return 0;
        const TagByteClass k = kTagClasses[tag[j]];
        if (k == kTagPlain) continue;
        if (k == kTagEnd) break;
        if (k == kTagBlank) {
            // The first byte after '<' never wraps; a later blank wraps
            // once its column passes the margin.
            if (j > 1 && may_wrap && !in_attr_quote && column + static_cast<std::int64_t>(j) + 1 > margin) return 0;
        } else if (k == kTagQuote) {
            in_attr_quote = !in_attr_quote;
        } else if (k == kTagRefuse || !amp_plain) {
            return 0;
        }
    }
    std::size_t last = j - 1;
    while (last > 0 && kTagClasses[tag[last]] == kTagBlank) --last;
    if (last == 0) return 0;
    const std::size_t length = j + 1;
    if (!is_generic_tag(s, std::string_view(reinterpret_cast<const char*>(tag), length))) return 0;
    last_char = tag[last];
    return length;
}

bool ends_text(unsigned char b) { return kClasses[b] != kText && b != ' '; }

// Copies in[0..n) to out up to the first byte that ends a run of text and
// blanks, and returns its index, or n. Bytes of out past that index may be
// written too, never at or past out + n.
std::size_t copy_text(unsigned char* out, const unsigned char* in, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step: most runs of text end within the first.
    const __m128i below_space = _mm_set1_epi8(0x1F);
    const __m128i dquote = _mm_set1_epi8('"');
    const __m128i apos = _mm_set1_epi8('\'');  // '&' with bit 0 set
    const __m128i bit0 = _mm_set1_epi8(1);
    const __m128i gt = _mm_set1_epi8('>');      // '<' with bit 1 set
    const __m128i bit1 = _mm_set1_epi8(2);
    const auto stops_in = [&](__m128i x) {
        const __m128i stops = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(x, below_space), x), _mm_cmpeq_epi8(x, dquote)),
            _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(x, bit0), apos), _mm_cmpeq_epi8(_mm_or_si128(x, bit1), gt)));
        return static_cast<unsigned>(_mm_movemask_epi8(stops));
    };
    // Thirty-two bytes a step while they last: most runs of text end within
    // the first, and the step's end is then one branch taken the same way.
    for (; i + 32 <= n; i += 32) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), x);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 16), y);
        if (const std::uint32_t mask = stops_in(x) | (stops_in(y) << 16)) {
            return i + static_cast<std::size_t>(std::countr_zero(mask));
        }
    }
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), x);
        if (const unsigned mask = stops_in(x)) return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
#endif
    return i + scan::copy_until(out + i, in + i, n - i, text_ends, ends_text);
}

}  // namespace

TokenCode take_plain_run(RewriteState& s, const PlainRunRules& rules_in) {
    if (s.pending_tag_end) return TOK_EOF;
    const std::size_t n = s.input_file.held_ahead();
    const std::size_t room = s.work_file.room_ahead();
    if (n == 0 || room == 0) return TOK_EOF;
    const unsigned char* in = s.input_file.ahead();
    if (in[0] == '>' || (in[0] == '<' && !rules_in.tags)) return TOK_EOF;
    unsigned char* out = s.work_file.ahead();

    // Everything the loop consults is copied here first: the bytes it stores
    // may alias any memory, and would make the compiler load it again after
    // every store.
    const PlainRunRules rules = rules_in;
    const bool debug_prefixes = s.debug_prefixes;
    const bool strip_indent = s.run.options.strip_indent != 0;
    const int margin = s.run.options.wrap_margin;
    const bool amp_plain = s.in_raw != 0;
    bool collapse_armed = s.crlf_collapse_active != 0;
    const bool no_wrap = s.no_wrap != 0;
    const bool reset_quotes = s.run.options.reset_quotes_at_para != 0;
    const int collapse_option = s.run.options.collapse_crlf;
    const bool nbsp_to_space = s.run.options.nbsp_to_space != 0;
    std::int64_t column = s.out_column;
    int line_has_text = s.line_has_text;
    int after_newline = s.after_newline;
    int in_quote = s.in_quote;

    TokenCode last = TOK_EOF;
    int last_char = -1;           // the last byte that set the token text
    std::size_t entity_length = 0;  // or the entity or whole tag that set it last
    // Where that text is to be copied from at the end, or null when it is
    // already in the token text (an entity is copied at once).
    const unsigned char* captured_from = nullptr;
    std::size_t o = 0;            // bytes kept in the work file
    // Furthest byte stored, stripped blanks included, or already held as
    // part of the work file past the position.
    std::size_t touched = s.work_file.held_past_position();
    bool changed = false;
    std::size_t tag_echoed = 0;   // the last tag taken, with its '<' and '>'
    bool generic_tag_taken = false;
    bool para_taken = false;
    std::size_t i = 0;
    // Each step writes at most kWidest bytes for one byte read, or copies
    // a run no longer than the room left.
    constexpr std::size_t kWidest = 6;
    constexpr std::size_t kEntityMax = kEntityBound + 1;  // an entity is copied whole
    // A quote or apostrophe at i, with room for its entity: written as the
    // main loop writes it.
    const auto rewrite_quote = [&](bool apostrophe) {
        const char* entity;  // each of them six bytes long
        if (apostrophe) {
            entity = "&#146;";
            last = TOK_APOS;
        } else {
            entity = in_quote ? "&#148;" : "&#147;";
            in_quote = !in_quote;
            last = TOK_DQUOTE;
        }
        std::memcpy(out + o, entity, 6);
        o += 6;
        column += 6;
        line_has_text = 1;
        after_newline = 0;
        last_char = in[i];
        entity_length = 0;
        changed = true;
        ++i;
    };
    // A tag at i taken whole, when it is one the main loop would take
    // back unchanged; false, with nothing done, for any other.
    const auto take_tag = [&] {
        if (!no_wrap) {
            // A paragraph or anchor tag is taken as the main loop takes it
            // outside a no-wrap region: copied whole, its text left as the
            // token text; a paragraph also ends a quote left open (when
            // asked) and arms the line-break collapse (when asked). Where
            // blanks do not wrap, a blank after an anchor may move and the
            // tag is left to the token loop.
            if (const std::size_t length = para_or_anchor_length(in + i, n - i)) {
                if (room - o < length) return false;
                scan::copy_short(out + o, in + i, length);
                if ((in[i + 1] | 0x20) == 'p') {
                    if (reset_quotes) in_quote = 0;
                    collapse_armed = collapse_option != 0;
                    para_taken = true;
                }
                o += length;
                i += length;
                column += static_cast<std::int64_t>(length);
                line_has_text = 1;
                after_newline = 0;
                last = TOK_TAG_END;
                entity_length = length;
                captured_from = in + i - length;
                tag_echoed = length;
                return true;
            }
        }
        int tag_last = -1;
        const std::size_t length = plain_tag_length(s, in + i, n - i, column, tag_last);
        if (length == 0 || room - o < length) return false;
        scan::copy_short(out + o, in + i, length);
        o += length;
        i += length;
        column += static_cast<std::int64_t>(length);
        line_has_text = 1;
        after_newline = 0;
        last = TOK_TAG_END;
        last_char = tag_last;
        entity_length = 0;
        tag_echoed = length;
        generic_tag_taken = true;
        return true;
    };
    // Whether a run of words and blanks may start at b: a text byte, or a
    // blank that is neither indentation nor due to wrap.
    const auto starts_words = [&](unsigned char b) {
        return kClasses[b] == kText ||
               (b == ' ' && line_has_text && !(rules.wrap_blanks && column + 1 > margin));
    };
    // A blank at i that wraps, made a line end: CR LF in its place, a new
    // output line, the file changed.
    const auto wrap_blank = [&] {
        if (in[i] == ' ') after_newline = 0;
        out[o++] = '\r';
        out[o++] = '\n';
        column = 0;
        changed = true;
        last = TOK_SPACE;
        ++i;
    };
    const auto take_newline = [&] {
        out[o++] = '\n';
        column = 0;
        line_has_text = 0;
        after_newline = 1;
        ++i;
    };
    while (i < n && o < room) {
        const unsigned char c = in[i];
        const ByteClass k = kClasses[c];
        QuoteRule quote = QuoteRule::kPlain;
        switch (k) {
            case kAmp: {
                if (amp_plain) goto text;
                if (!rules.entities || room - o < kEntityMax) goto done;
                // The capture takes the bytes up to the first ';' among the
                // next seven. Only bytes of 32 and above are taken here: a
                // line end or control byte inside, or the end of what is
                // held, is left to the token loop.
                const std::size_t held = n - i;
                std::size_t length = 0;
                static_assert(kEntityBound + 1 == 8);
                if (held >= 8) {
                    // The seven bytes after the '&' looked at in one word.
                    std::uint64_t x;
                    std::memcpy(&x, in + i, 8);
                    if constexpr (std::endian::native == std::endian::little) {
                        const std::uint64_t body = x >> 8;  // its top byte is 0: not looked at
                        const std::uint64_t flags =
                            (scan::below(body, 0x20) | scan::equal(body, ';')) & (scan::kHighs >> 8);
                        if (flags == 0) {
                            length = 8;
                        } else {
                            const std::size_t at = 1 + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
                            if (in[i + at] != ';') goto done;
                            length = at + 1;
                        }
                    }
                    // All eight bytes are copied: past the entity they are
                    // written over later or never counted, unless bytes
                    // there already belong to the work file.
                    std::memcpy(s.token_text, &x, 8);
                    if (o >= touched) std::memcpy(out + o, &x, 8);
                }
                if (length == 0) {
                    for (std::size_t j = 1; j <= kEntityBound; ++j) {
                        if (j >= held || in[i + j] < 0x20) goto done;
                        if (in[i + j] == ';') {
                            length = j + 1;
                            break;
                        }
                    }
                    if (length == 0) length = kEntityBound + 1;
                    std::memcpy(s.token_text, in + i, length);
                    std::memcpy(out + o, in + i, length);
                } else if (o < touched) {
                    std::memcpy(out + o, in + i, length);
                }
                const std::string_view text(reinterpret_cast<const char*>(in + i), length);
                touched = std::max(touched, o + length);
                column += static_cast<std::int64_t>(length);
                line_has_text = 1;
                after_newline = 0;
                i += length;
                entity_length = length;
                captured_from = nullptr;
                if (text == "&#147;" || text == "&#148;" || text == "&quot;") {
                    last = text == "&#147;" ? TOK_LDQUO : text == "&#148;" ? TOK_RDQUO : TOK_QUOT;
                    if (rules.dquote == QuoteRule::kRewritten) {
                        // Moved back over and written as the quote due.
                        const std::string_view due = in_quote ? "&#148;" : "&#147;";
                        if (text != due) changed = true;
                        std::memcpy(out + o, due.data(), due.size());
                        in_quote = !in_quote;
                    }
                    o += length;
                } else if (text == "&nbsp;") {
                    last = TOK_NBSP;
                    if (rules.dquote == QuoteRule::kRewritten && nbsp_to_space) {
                        out[o] = ' ';
                        column -= static_cast<std::int64_t>(length) - 1;
                        changed = true;
                        o += 1;
                    } else {
                        o += length;
                    }
                } else {
                    last = TOK_ENTITY;
                    o += length;
                }
                continue;
            }
            case kDquote:
                quote = rules.dquote;
                break;
            case kApos:
                quote = rules.apos;
                break;
            case kText:
            text:
                // At a text byte, or a blank after text on the line that
                // does not wrap.
                // Words and blanks, and the quotes and line ends between
                // them, taken in turn here without going round the switch.
                for (;;) {
                    // This byte and the words and blanks after it, copied
                    // as one. After text a blank is never indentation; it
                    // ends the run only where it would wrap: at an index
                    // from blank_stop on, its column would pass the margin.
                    const std::size_t from = i;
                    const std::size_t limit = std::min(n, from + (room - o));
                    std::size_t blank_stop = limit;
                    if (rules.wrap_blanks) {
                        const std::int64_t left = std::max<std::int64_t>(0, std::int64_t{margin} - column);
                        blank_stop = from + static_cast<std::size_t>(std::min<std::int64_t>(left, limit - from));
                    }
                    // Where no byte past the position is yet part of the
                    // work file, the bytes are copied as they are scanned,
                    // in words; what lands past the run's end is written
                    // over later or never counted.
                    const bool copy_as_scanned = o >= touched;
                    std::size_t stop = from + 1;
                    if (copy_as_scanned) {
                        out[o] = in[from];
                        stop += copy_text(out + o + 1, in + stop, limit - stop);
                    } else {
                        stop += scan::find_first(in + stop, limit - stop, text_ends, ends_text);
                    }
                    if (blank_stop < stop) {
                        const std::size_t look = std::max(blank_stop, from);
                        if (look < stop) {
                            if (const void* blank = std::memchr(in + look, ' ', stop - look)) {
                                stop = static_cast<std::size_t>(static_cast<const unsigned char*>(blank) - in);
                            }
                        }
                    }
                    if (!copy_as_scanned) std::memcpy(out + o, in + from, stop - from);
                    o += stop - from;
                    i = stop;
                    column += static_cast<std::int64_t>(i - from);
                    line_has_text = 1;
                    after_newline = 0;
                    std::size_t word_end = i - 1;
                    while (word_end > from && kClasses[in[word_end]] == kBlank) --word_end;
                    if (kClasses[in[word_end]] == kBlank) {
                        // Blanks alone leave the token text as it was.
                        last = TOK_SPACE;
                    } else {
                        last = word_end == i - 1 ? TOK_CHAR : TOK_SPACE;
                        last_char = in[word_end];
                        entity_length = 0;
                    }

                    if (i >= n || o >= room) break;
                    const unsigned char after = in[i];
                    const ByteClass after_class = kClasses[after];
                    if ((after_class == kApos && rules.apos == QuoteRule::kRewritten) ||
                        (after_class == kDquote && rules.dquote == QuoteRule::kRewritten)) {
                        if (room - o < kWidest) goto done;
                        rewrite_quote(after_class == kApos);
                    } else if (after_class == kNewline && !debug_prefixes) {
                        take_newline();
                    } else if (after == ' ' && rules.wrap_here && !debug_prefixes && room - o >= 2) {
                        // Words stop at a blank only where it wraps.
                        wrap_blank();
                    } else {
                        break;
                    }
                    // On with the next words straight away; anything else
                    // goes round the switch.
                    if (i >= n || o >= room || !starts_words(in[i])) break;
                }
                continue;
            case kBlank:
                if (starts_words(c)) goto text;
                if (strip_indent && !line_has_text) {
                    // Indentation: each blank echoed, then moved back over.
                    do {
                        if (in[i] == ' ') after_newline = 0;
                        ++i;
                    } while (i < n && kClasses[in[i]] == kBlank);
                    out[o] = in[i - 1];
                    touched = std::max(touched, o + 1);
                    changed = true;
                    continue;
                }
                if (rules.wrap_blanks && column + 1 > margin) {
                    // The blank becomes a line end, as the main loop makes
                    // it: CR LF in its place, a new output line, the file
                    // changed. Left to the token loop inside a tag, where
                    // a wrap alone changes nothing, and before a debug prefix.
                    if (!rules.wrap_here || debug_prefixes || room - o < 2) goto done;
                    wrap_blank();
                    continue;
                }
                if (c == ' ') after_newline = 0;
                out[o++] = c;
                ++column;
                last = TOK_SPACE;
                ++i;
                continue;
            case kNewline:
                if (debug_prefixes) goto done;
                take_newline();
                continue;
            case kReturn:
                // A CR right after a line end may be removed while the
                // collapse is armed: left for the token loop then.
                if (collapse_armed && after_newline) goto done;
                [[fallthrough]];
            case kControl:
                out[o++] = c;
                ++column;
                line_has_text = 1;
                ++i;
                continue;
            case kStop:
                if (c != '<' || !rules.tags || !take_tag()) goto done;
                continue;
        }
        // A quote or an apostrophe.
        if (quote == QuoteRule::kEnds) goto done;
        if (quote == QuoteRule::kPlain) goto text;
        if (room - o < kWidest) goto done;
        rewrite_quote(k == kApos);
    }
done:
    if (i == 0) return TOK_EOF;
    s.input_file.skip(i);
    s.work_file.advance(o, std::max(touched, o));
    s.out_column = column;
    s.line_has_text = line_has_text;
    s.after_newline = after_newline;
    s.in_quote = in_quote;
    if (changed) s.file_changed = 1;
    if (para_taken) s.crlf_collapse_active = collapse_option;
    // As the capture, and for a generic tag the second reading, leave them.
    if (tag_echoed > 0) s.token_echoed = tag_echoed;
    if (generic_tag_taken) s.tag_handed_back = 0;
    if (entity_length > 0) {
        if (captured_from != nullptr) scan::copy_short(s.token_text, captured_from, entity_length);
        s.token_text[entity_length] = 0;
        s.token_length = entity_length;
    } else if (last_char >= 0) {
        s.token_text[0] = static_cast<unsigned char>(last_char);
        s.token_text[1] = 0;
        s.token_length = 1;
    }
    return last;
}

}  // namespace zorbel
