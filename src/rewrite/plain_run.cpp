#include "rewrite/plain_run.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/byte_scan.h"
#include "rewrite/rules.h"

namespace zorbel {

namespace {

// What a byte is to a run. Every byte outside kRunStops is text, but for
// ' '; every byte in it has a class of its own.
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
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        if (!kRunStops.contains(b)) {
            classes[c] = b == ' ' ? kBlank : kText;
            continue;
        }
        switch (b) {
            case '\t': classes[c] = kBlank; break;
            case '\n': classes[c] = kNewline; break;
            case '\r': classes[c] = kReturn; break;
            case '&': classes[c] = kAmp; break;
            case '"': classes[c] = kDquote; break;
            case '\'': classes[c] = kApos; break;
            case '<':
            case '>': classes[c] = kStop; break;
            default: classes[c] = b < 0x20 ? kControl : kText; break;
        }
    }
    return classes;
}

constexpr std::array<ByteClass, 256> kClasses = make_classes();

static_assert([] {
    for (int c = 0; c < 256; ++c) {
        if (kRunStops.contains(static_cast<unsigned char>(c)) == (kClasses[c] == kText || c == ' ')) return false;
    }
    return true;
}(), "every run stop has a class of its own, and nothing else has");

// The text of a whole tag or entity in the input.
std::string_view text_at(const unsigned char* p, std::size_t length) {
    return {reinterpret_cast<const char*>(p), length};
}

// The steps of a run are made part of take(): its state then stays in
// registers, where a step called apart would keep it in memory and load it
// again after every byte stored.
#define ZORBEL_STEP [[gnu::always_inline]] inline

// One run taken from the bytes held by both windows. Everything the steps
// consult is copied into it first: the bytes they store may alias any
// memory, and would make the compiler load the state again after every
// store. Each step either takes what it is at and returns true, or takes
// nothing and returns false, which ends the run.
template <bool kTagBody>
class RunTaker {
public:
    RunTaker(RewriteState& s, const PlainRunRules& rules)
        : s_(s),
          rules_(rules),
          options_(s.options),
          in_(s.input_window.ahead()),
          n_(s.input_window.held_ahead()),
          out_(s.work_window.ahead()),
          room_(s.work_window.room_ahead()),
          debug_prefixes_(s.debug_prefixes),
          margin_(s.options.wrap_margin),
          amp_is_text_(!amp_starts_entity(s)),
          column_(s.out_column),
          line_has_text_(s.line_has_text),
          after_newline_(s.after_newline),
          in_quote_(s.in_quote),
          no_wrap_(s.no_wrap),
          crlf_collapse_active_(s.crlf_collapse_active),
          verbatim_(s.verbatim),
          wrap_blanks_(rules.wrap_blanks),
          touched_(s.work_window.held_past_position()),
          values_(s.tag_values) {}

    TokenCode take() {
        while (i_ < n_ && o_ < room_ && step()) {
        }
        if (i_ > 0) hand_back_state();
        return last_;
    }

private:
    // Each step writes at most kWidest bytes for one byte read, or copies
    // a run no longer than the room left.
    static constexpr std::size_t kWidest = 6;
    static_assert(kOpenQuote.size() == kWidest && kCloseQuote.size() == kWidest && kApostrophe.size() == kWidest);
    static constexpr std::size_t kEntityMax = kEntityBound + 1;  // an entity is copied whole
    static constexpr std::size_t kLongestCapture = 1 + kTagBound;  // one over the bound, with its '<'
    static_assert(kLongestCapture < kTokenCapacity, "the capture and its NUL fit the token text");

    // One step at the byte at i_. Every byte the run takes as a letter ends
    // up at the one call of take_words, so that its loop is made once.
    ZORBEL_STEP bool step() {
        const unsigned char c = in_[i_];
        switch (kClasses[c]) {
            case kText:
                break;
            case kBlank:
                if (!starts_words(c)) return take_blank();
                break;
            case kNewline:
                if (debug_prefixes_) return false;
                take_newline();
                return true;
            case kReturn:
                // A CR right after a line end may be removed while the
                // collapse is armed: left for the token loop then.
                if (removes_cr(after_newline_, crlf_collapse_active_, verbatim_)) return false;
                [[fallthrough]];
            case kControl:
                take_control(c);
                return true;
            case kAmp:
                if (!amp_is_text_) return take_entity();
                break;
            case kDquote:
                if (rules_.dquote != QuoteRule::kPlain) return take_quote_byte(false);
                break;
            case kApos:
                if (rules_.apos != QuoteRule::kPlain) return take_quote_byte(true);
                break;
            case kStop:
                if (c != '<') return false;
                if (!kTagBody && rules_.tags) return take_tag();
                return kTagBody && take_nested_tag_open();
        }
        return take_words();
    }

public:
    // The output of the actions of rules.h: the work window ahead of the
    // position, with room checked by the caller. A run never writes a line
    // end where a debug prefix would follow it.
    ZORBEL_STEP void emit(std::string_view text) {
        std::memcpy(out_ + o_, text.data(), text.size());
        o_ += text.size();
        column_ += static_cast<std::int64_t>(text.size());
    }
    ZORBEL_STEP void unwrite(std::size_t n) {
        touched_ = std::max(touched_, o_);  // the bytes stay held past the position
        o_ -= n;
        if (column_ >= static_cast<std::int64_t>(n)) column_ -= static_cast<std::int64_t>(n);
    }
    ZORBEL_STEP void unwrite_text(std::string_view text) { unwrite(text.size()); }
    ZORBEL_STEP void newline() {
        out_[o_++] = '\r';
        out_[o_++] = '\n';
        column_ = 0;
    }
    ZORBEL_STEP void mark_changed() { changed_ = true; }

private:
    // The blank at i_ echoed.
    ZORBEL_STEP void echo_blank() {
        const unsigned char c = in_[i_++];
        if (clears_after_newline(c)) after_newline_ = 0;
        out_[o_++] = c;
        ++column_;
    }

    // The length bytes at i_, already copied to o_, taken as echoed text.
    ZORBEL_STEP void echo_text(std::size_t length) {
        i_ += length;
        o_ += length;
        count_text(length);
    }

    // The token text is now the one byte c.
    ZORBEL_STEP void set_char(int c) {
        last_char_ = c;
        captured_length_ = 0;
    }

    ZORBEL_STEP void count_text(std::size_t length) {
        column_ += static_cast<std::int64_t>(length);
        line_has_text_ = 1;
        after_newline_ = 0;
    }

    // Whether a run of words and blanks may start at b: a text byte, or a
    // blank after text that does not wrap.
    ZORBEL_STEP bool starts_words(unsigned char b) const {
        return kClasses[b] == kText ||
               (b == ' ' && line_has_text_ && !(wrap_blanks() && blank_wraps(column_ + 1, margin_)));
    }

    // A quote or apostrophe at i_ whose rule is not plain (where it is,
    // step() takes it as a letter): inside a tag fed to the scan of
    // attribute values, elsewhere rewritten when there is room for its
    // entity; false, taking nothing, when there is not.
    ZORBEL_STEP bool take_quote_byte(bool apostrophe) {
        if (kTagBody && (apostrophe ? rules_.apos : rules_.dquote) == QuoteRule::kSteps) {
            take_value_quote();
            return true;
        }
        if (room_ - o_ < kWidest) return false;
        rewrite_quote(apostrophe);
        return true;
    }

    // A quote or apostrophe at i_, with room for its entity, written as
    // the main loop writes it.
    ZORBEL_STEP void rewrite_quote(bool apostrophe) {
        const TokenCode token = apostrophe ? TOK_APOS : TOK_DQUOTE;
        const unsigned char c = in_[i_];
        last_ = token;
        set_char(c);
        out_[o_] = c;
        echo_text(1);
        write_rewrite(*this, text_at(in_ + i_ - 1, 1), rewrite_token(options_, true, in_quote_, token));
    }

    // A quote at i_ inside a tag read again, taken as a letter and fed to
    // the scan of attribute values: where it opens or closes a value, the
    // blanks after it may wrap or not from here on.
    ZORBEL_STEP void take_value_quote() {
        const unsigned char c = in_[i_];
        follow_values();
        values_.step(c);
        values_from_ = i_ + 1;
        wrap_blanks_ = tag_blank_may_wrap(s_, values_.protects_blanks());
        last_ = c == '"' ? TOK_DQUOTE : TOK_APOS;
        set_char(c);
        out_[o_] = c;
        echo_text(1);
    }

    // Whether a blank beyond the margin becomes a line end here.
    ZORBEL_STEP bool wrap_blanks() const {
        if constexpr (kTagBody) return wrap_blanks_;
        return rules_.wrap_blanks;
    }

    // Feeds the scan of attribute values the bytes taken since it was
    // last fed. No quote is among them: each is fed as it is taken, and
    // a run inside a tag takes no entity, whose capture might hold one.
    ZORBEL_STEP void follow_values() {
        values_.feed_unquoted(in_ + values_from_, i_ - values_from_);
        values_from_ = i_;
    }

    // Copies the length bytes at in_ + from to out_ + o_, all held and
    // with room for them. Where no byte past the position is yet part of
    // the work file, a whole 32 or 64 bytes are moved when they are held
    // and there is room: what lands past the copy is written over later or
    // never counted, and one move of a fixed width costs less than a copy
    // that is sized to the length.
    ZORBEL_STEP void copy_out(std::size_t from, std::size_t length) {
        const std::size_t reach = std::min(n_ - from, room_ - o_);
        if (o_ >= touched_ && length <= 32 && reach >= 32) {
            std::memcpy(out_ + o_, in_ + from, 32);
        } else if (o_ >= touched_ && length <= 64 && reach >= 64) {
            std::memcpy(out_ + o_, in_ + from, 64);
        } else {
            scan::copy_short(out_ + o_, in_ + from, length);
        }
    }

    // Words and blanks from i_, and the quotes, line ends and tags between
    // them, taken in turn without going round step().
    ZORBEL_STEP bool take_words() {
        for (;;) {
            copy_words();
            if (i_ >= n_ || o_ >= room_) return true;
            const unsigned char after = in_[i_];
            const ByteClass after_class = kClasses[after];
            if ((after_class == kApos && rules_.apos != QuoteRule::kPlain) ||
                (after_class == kDquote && rules_.dquote != QuoteRule::kPlain)) {
                if (!take_quote_byte(after_class == kApos)) return false;
            } else if (after_class == kNewline && !debug_prefixes_) {
                take_newline();
            } else if (after == ' ' && rules_.wrap_here && !debug_prefixes_ && room_ - o_ >= 2) {
                // Words stop at a blank only where it wraps.
                wrap_blank();
            } else if (after == '<' && !kTagBody && rules_.tags) {
                // Words and tags in turn are most of a page: tags with their
                // names alone are taken here, and rows of them, any other
                // round step().
                do {
                    TagRereading reading;
                    const std::size_t length = name_only_tag(reading);
                    if (length == 0) return true;
                    if (!take_name_only_tag(length, reading)) return false;
                } while (i_ < n_ && o_ < room_ && in_[i_] == '<');
            } else {
                return true;
            }
            // On with the next words straight away; anything else goes
            // round step().
            if (i_ >= n_ || o_ >= room_ || !starts_words(in_[i_])) return true;
        }
    }

    // The byte at i_ (text, or a blank that starts words) and the words and
    // blanks after it, copied as one, up to the first run stop or the
    // first blank that wraps.
    ZORBEL_STEP void copy_words() {
        const std::size_t from = i_;
        const std::size_t limit = std::min(n_, from + (room_ - o_));
        // A blank at an index from blank_stop on would take the column past
        // the margin, and wrap (blank_wraps).
        std::size_t blank_stop = limit;
        if (wrap_blanks()) {
            const std::int64_t left = bytes_before_wrap(column_, margin_);
            blank_stop = from + static_cast<std::size_t>(std::min<std::int64_t>(left, limit - from));
        }
        // Where no byte past the position is yet part of the work file, the
        // bytes are copied as they are scanned, in words; what lands past
        // the run's end is written over later or never counted.
        const bool copy_as_scanned = o_ >= touched_;
        std::size_t stop = from + 1;
        if (copy_as_scanned) {
            out_[o_] = in_[from];
            stop += RunStops::copy_until(out_ + o_ + 1, in_ + stop, limit - stop);
        } else {
            stop += RunStops::find(in_ + stop, limit - stop);
        }
        if (blank_stop < stop) {
            const std::size_t look = std::max(blank_stop, from);
            if (look < stop) {
                if (const void* blank = std::memchr(in_ + look, ' ', stop - look)) {
                    stop = static_cast<std::size_t>(static_cast<const unsigned char*>(blank) - in_);
                }
            }
        }
        if (!copy_as_scanned) std::memcpy(out_ + o_, in_ + from, stop - from);
        o_ += stop - from;
        i_ = stop;
        count_text(i_ - from);
        std::size_t word_end = i_ - 1;
        while (word_end > from && kClasses[in_[word_end]] == kBlank) --word_end;
        if (kClasses[in_[word_end]] == kBlank) {
            // Blanks alone leave the token text as it was.
            last_ = TOK_SPACE;
        } else {
            last_ = word_end == i_ - 1 ? TOK_CHAR : TOK_SPACE;
            set_char(in_[word_end]);
        }
    }

    // A blank that does not start words (step() takes those as letters):
    // indentation, a blank that wraps, or one alone.
    ZORBEL_STEP bool take_blank() {
        if (strips_blank(options_, verbatim_, line_has_text_)) {
            take_indentation();
            return true;
        }
        if (wrap_blanks() && blank_wraps(column_ + 1, margin_)) {
            // Left to the token loop before a debug prefix.
            if (!rules_.wrap_here || debug_prefixes_ || room_ - o_ < 2) return false;
            wrap_blank();
            return true;
        }
        echo_blank();
        last_ = TOK_SPACE;
        return true;
    }

    // Indentation: each blank echoed, then dropped. Each echo lands where
    // the one before it was dropped: only the last blank's is written.
    ZORBEL_STEP void take_indentation() {
        for (; i_ + 1 < n_ && kClasses[in_[i_ + 1]] == kBlank; ++i_) {
            if (clears_after_newline(in_[i_])) after_newline_ = 0;
        }
        echo_blank();
        drop_echoed_indentation(*this);
    }

    // A blank at i_ that wraps, with room for its line end, made one as
    // the token loop makes it, in text or inside a tag.
    ZORBEL_STEP void wrap_blank() {
        echo_blank();
        wrap_echoed_blank(*this, !kTagBody);
        last_ = TOK_SPACE;
    }

    ZORBEL_STEP void take_newline() {
        out_[o_++] = '\n';
        column_ = 0;
        line_has_text_ = 0;
        after_newline_ = 1;
        ++i_;
    }

    // A control byte, or a CR that stays: echoed, no token.
    ZORBEL_STEP void take_control(unsigned char c) {
        out_[o_++] = c;
        ++column_;
        line_has_text_ = 1;
        ++i_;
    }

    // An entity at i_, taken as the main loop takes it, when its capture
    // ends within what is held with no line end or control byte in it.
    ZORBEL_STEP bool take_entity() {
        if (!rules_.entities || room_ - o_ < kEntityMax) return false;
        const std::size_t length = copy_entity();
        if (length == 0) return false;
        const std::string_view text = text_at(in_ + i_, length);
        captured_length_ = length;
        captured_from_ = nullptr;
        last_ = entity_token(text);
        echo_text(length);  // copy_entity has written it
        // Quote, apostrophe and &nbsp; rewriting is on in a run exactly
        // where its double quotes are rewritten.
        static_assert(kEntityMax >= kWidest, "every rewrite fits where its entity was");
        write_rewrite(*this, text, rewrite_token(options_, rules_.dquote == QuoteRule::kRewritten, in_quote_, last_));
        return true;
    }

    // The length of the entity at i_, copied to the token text and to the
    // work file; 0, with nothing that counts written, when its capture
    // would meet a control byte or the end of what is held.
    ZORBEL_STEP std::size_t copy_entity() {
        const std::size_t held = n_ - i_;
        static_assert(kEntityBound + 1 == 8);
        if (held >= 8 && std::endian::native == std::endian::little) {
            // The seven bytes after the '&' looked at in one word.
            std::uint64_t x;
            std::memcpy(&x, in_ + i_, 8);
            const std::uint64_t body = x >> 8;  // its top byte is 0: not looked at
            const std::uint64_t flags = EntityStops::word(body) & (scan::kHighs >> 8);
            std::size_t length = 8;
            if (flags != 0) {
                const std::size_t at = 1 + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
                if (!ends_entity(in_[i_ + at])) return 0;
                length = at + 1;
            }
            // All eight bytes are copied: past the entity they are written
            // over later or never counted, unless bytes there already
            // belong to the work file.
            std::memcpy(s_.token_text, &x, 8);
            if (o_ >= touched_) {
                std::memcpy(out_ + o_, &x, 8);
            } else {
                std::memcpy(out_ + o_, in_ + i_, length);
            }
            return length;
        }
        std::size_t length = 0;
        for (std::size_t j = 1; j <= kEntityBound && length == 0; ++j) {
            if (j >= held || in_[i_ + j] < 0x20) return 0;
            if (ends_entity(in_[i_ + j])) length = j + 1;
        }
        if (length == 0) length = kEntityBound + 1;
        std::memcpy(s_.token_text, in_ + i_, length);
        std::memcpy(out_ + o_, in_ + i_, length);
        return length;
    }

    // The length of the tag at i_ when nothing but name bytes stand before
    // its '>' within sixteen bytes, as in most tags: one look settles
    // those, and reading says what reading it again does. 0 for any other.
    ZORBEL_STEP std::size_t name_only_tag(TagRereading& reading) const {
        if (n_ - i_ < 17) return 0;
        const unsigned mask = TagBodyStops::mask_of_16(in_ + i_ + 1);
        if (mask == 0) return 0;
        const auto first = static_cast<std::size_t>(std::countr_zero(mask));
        reading = reread_name_only(in_ + i_ + 1, first);
        return reading.unchanged ? first + 2 : 0;
    }

    // That tag taken whole, by its kind.
    ZORBEL_STEP bool take_name_only_tag(std::size_t length, const TagRereading& reading) {
        return take_whole_tag(length, classify_tag(options_, text_at(in_ + i_, length)), reading);
    }

    // A whole tag at i_, taken as the main loop takes it: a generic tag
    // whose second reading would copy it unchanged, and, outside a no-wrap
    // region, a paragraph or anchor tag. Any other tag ends the run.
    ZORBEL_STEP bool take_tag() {
        const unsigned char* tag = in_ + i_;
        const std::size_t held = n_ - i_;
        TagRereading reading;
        if (const std::size_t length = name_only_tag(reading)) return take_name_only_tag(length, reading);
        // The capture takes at most kTagBound bytes after the '<'. A tag
        // with a line end or control byte in them (one broken over lines)
        // is left to the token loop, which captures it and reads it again.
        const std::size_t body_limit = std::min(held - 1, kTagBound);
        const HeldTag whole = read_held_tag(s_, tag + 1, body_limit, column_ + 1);
        if (whole.end == body_limit) return false;
        return take_whole_tag(whole.end + 2, whole.kind, whole.reading, whole.wraps);
    }

    // A '<' inside a tag read again, outside a value, whose capture is a
    // generic tag with no line end or control byte in it: one that runs
    // over the bound (none of the kTagBound bytes after it, all held, is a
    // '>' or a control byte), or one that its first '>' ends and that the
    // byte after its '<' keeps from holding attribute values or being a
    // marker. The capture echoes the tag and hands all of it back after
    // the '<'; what stays is the '<' echoed, the capture as the token text
    // and its echo past the position (written at the end of the run, over
    // what the run has not written since), and the scan of attribute values
    // started again after the '<'. Runs of '<' are made of these, each '<'
    // the next one's capture starts at: such a row is taken at once. Left
    // to the token loop where starting the scan again would change whether
    // the blanks after it may wrap.
    ZORBEL_STEP bool take_nested_tag_open() {
        // Only a quote opens or closes a value, and each is fed to the scan
        // as it is taken: whether the run stands in one is known.
        if (values_.in_value() || wrap_blanks() != tag_blank_may_wrap(s_, false)) return false;
        if (tag_stop_at_ <= i_) tag_stop_at_ = i_ + 1 + TagEndStops::find(in_ + i_ + 1, n_ - i_ - 1);
        // The '<' at i_ + k, for k from 0 on, is one of those while it is a
        // '<': first those whose capture runs over the bound, all held and
        // with room for its echo; then those the stop ends, a '>'. No '<'
        // is a stop: tag_stop_at_ is the first after each '<' of the row.
        std::size_t k = 0;
        std::size_t last_length = 0;
        if (tag_stop_at_ >= i_ + kLongestCapture && n_ - i_ >= kLongestCapture && room_ - o_ >= kLongestCapture) {
            const std::size_t over = 1 + std::min({tag_stop_at_ - kLongestCapture - i_, n_ - kLongestCapture - i_,
                                                   room_ - kLongestCapture - o_});
            k = 1 + scan::find_first(
                        in_ + i_ + 1, over - 1, [](std::uint64_t x) { return scan::other_than(x, '<'); },
                        [](unsigned char c) { return c != '<'; });
            last_length = kLongestCapture;
        }
        if (tag_stop_at_ < n_ && in_[tag_stop_at_] == '>') {
            for (; in_[i_ + k] == '<'; ++k) {
                const std::size_t at = i_ + k;
                const std::size_t length = tag_stop_at_ - at + 1;
                if (length > kLongestCapture || !plain_tag_start(in_[at + 1]) || room_ - o_ - k < length) break;
                last_length = length;
            }
        }
        if (k == 0) return false;
        std::memset(out_ + o_, '<', k);
        nested_i_ = i_ + k - 1;
        nested_o_ = o_ + k - 1;
        nested_length_ = last_length;
        touched_ = std::max(touched_, nested_o_ + last_length);
        o_ += k;
        i_ += k;
        count_text(k);
        captured_from_ = in_ + nested_i_;
        captured_length_ = last_length;
        last_char_ = -1;
        tag_echoed_ = last_length;
        values_ = AttrValueScan::after_tag_open();
        values_from_ = i_;
        last_ = TOK_TAG_OPEN;
        return true;
    }

    // A tag whose byte after its '<' is c has no attribute values
    // (AttrValueScan::opens_values), and classify_tag makes it generic
    // whatever follows: c is no letter, '/' or '!'.
    static constexpr bool plain_tag_start(unsigned char c) {
        return !AttrValueScan::opens_values(c) && c != '!';
    }

    // A whole tag of length bytes at i_ of the kind given, with no line end
    // or control byte in it; for a generic tag reading is what reading it
    // again would do.
    ZORBEL_STEP bool take_whole_tag(std::size_t length, TagKind kind, const TagRereading& reading,
                                    const std::uint64_t* wraps = nullptr) {
        if (room_ - o_ < length) return false;
        // A verbatim or code element's tag changes the rules that hold for
        // the bytes after it: left to the token loop, which follows it.
        if (options_.keep_verbatim && may_change_element(text_at(in_ + i_, length))) return false;
        switch (kind) {
            case TagKind::kPara:
            case TagKind::kAnchor:
                // In a no-wrap region a blank after an anchor may move
                // (blank_moves_before_anchor): the tag is left to the token
                // loop.
                if (no_wrap_) return false;
                take_para_or_anchor(length, kind == TagKind::kPara);
                return true;
            case TagKind::kGeneric:
                if (reading.wrapped) return take_wrapped_tag(length, reading, wraps);
                return take_generic_tag(length, reading);
            default:
                return false;
        }
    }

    // A paragraph or anchor tag of length bytes at i_: copied whole, its
    // text left as the token text, and a paragraph's effects made.
    ZORBEL_STEP void take_para_or_anchor(std::size_t length, bool paragraph) {
        if (paragraph) {
            paragraph_effects(options_, in_quote_, no_wrap_, crlf_collapse_active_);
        }
        captured_from_ = in_ + i_;
        captured_length_ = length;
        take_tag_bytes(length);
    }

    // A generic tag of length bytes at i_, when reading it again token by
    // token would copy it unchanged and leave one of its bytes as the
    // token text.
    ZORBEL_STEP bool take_generic_tag(std::size_t length, const TagRereading& reading) {
        if (!reading.unchanged || reading.last_char < 0) return false;
        set_char(reading.last_char);
        take_tag_bytes(length);
        return true;
    }

    // A generic tag of length bytes at i_ whose second reading would copy
    // it but make the blanks of wraps (bit b: the blank after the '<' and b
    // bytes) line ends, as continue_tag makes them: CR LF in their place, a
    // new output line after each. A wrap inside a tag alone does not make
    // the file worth committing. The copy is longer than the tag, so it
    // covers every byte the capture would have echoed.
    ZORBEL_STEP bool take_wrapped_tag(std::size_t length, const TagRereading& reading, const std::uint64_t* wraps) {
        // Each wrap writes one byte more; there are fewer than length.
        if (debug_prefixes_ || reading.last_char < 0 || room_ - o_ < 2 * length) return false;
        const unsigned char* const tag = in_ + i_;
        std::size_t from = 0;  // the tag's bytes copied so far
        for (std::size_t k = 0; k < kHeldTagBlocks; ++k) {
            for (std::uint64_t bits = wraps[k]; bits != 0; bits &= bits - 1) {
                const std::size_t blank = 1 + 64 * k + static_cast<std::size_t>(std::countr_zero(bits));
                emit(text_at(tag + from, blank + 1 - from));
                wrap_echoed_blank(*this, false);
                from = blank + 1;
            }
        }
        emit(text_at(tag + from, length - from));
        set_char(reading.last_char);
        end_tag(length);
        return true;
    }

    // A tag of length bytes at i_ copied whole, unchanged.
    ZORBEL_STEP void take_tag_bytes(std::size_t length) {
        copy_out(i_, length);
        o_ += length;
        column_ += static_cast<std::int64_t>(length);
        end_tag(length);
    }

    // The input moved past a tag of length bytes written out.
    ZORBEL_STEP void end_tag(std::size_t length) {
        i_ += length;
        line_has_text_ = 1;
        after_newline_ = 0;
        last_ = TOK_TAG_END;
        tag_echoed_ = length;
    }

    // Moves both windows past the run and hands the state back.
    ZORBEL_STEP void hand_back_state() {
        RewriteState& s = s_;
        if (nested_length_ > 0 && o_ < nested_o_ + nested_length_) {
            // The last nested capture's echo, past what the run wrote since.
            std::memcpy(out_ + o_, in_ + nested_i_ + (o_ - nested_o_), nested_o_ + nested_length_ - o_);
        }
        if (kTagBody) {
            follow_values();
            s.tag_values = values_;
        }
        s.input_window.skip(i_);
        s.work_window.advance(o_, std::max(touched_, o_));
        s.out_column = column_;
        s.line_has_text = line_has_text_;
        s.after_newline = after_newline_;
        s.in_quote = in_quote_;
        s.no_wrap = no_wrap_;
        s.crlf_collapse_active = crlf_collapse_active_;
        if (changed_) s.file_changed = 1;
        // As the capture, and for a generic tag the second reading, leave them.
        if (tag_echoed_ > 0) s.token_echoed = tag_echoed_;
        if (captured_length_ > 0) {
            if (captured_from_ != nullptr) scan::copy_short(s.token_text, captured_from_, captured_length_);
            s.token_text[captured_length_] = 0;
            s.token_length = captured_length_;
        } else if (last_char_ >= 0) {
            s.token_text[0] = static_cast<unsigned char>(last_char_);
            s.token_text[1] = 0;
            s.token_length = 1;
        }
    }

    RewriteState& s_;
    const PlainRunRules rules_;
    const Options& options_;
    const unsigned char* const in_;
    const std::size_t n_;
    unsigned char* const out_;
    const std::size_t room_;
    const bool debug_prefixes_;
    const int margin_;
    const bool amp_is_text_;

    std::int64_t column_;
    int line_has_text_;
    int after_newline_;
    int in_quote_;
    int no_wrap_;
    int crlf_collapse_active_;
    const int verbatim_;
    // A blank beyond the margin becomes a line end: inside a tag, as long
    // as no attribute value holds it.
    bool wrap_blanks_;

    TokenCode last_ = TOK_EOF;
    int last_char_ = -1;            // the last byte that set the token text
    std::size_t captured_length_ = 0;  // or the length of the entity or whole tag that set it last
    // Where that text is to be copied from at the end, or null when it is
    // already in the token text (an entity is copied at once).
    const unsigned char* captured_from_ = nullptr;
    std::size_t i_ = 0;  // bytes taken from the input
    std::size_t o_ = 0;  // bytes kept in the work file
    // Furthest byte stored, stripped blanks included, or already held as
    // part of the work file past the position.
    std::size_t touched_;
    bool changed_ = false;
    std::size_t tag_echoed_ = 0;  // the last tag taken, with its '<' and '>'

    // Inside a tag read again: where its attribute values lie, fed the
    // bytes taken before values_from_.
    AttrValueScan values_;
    std::size_t values_from_ = 0;
    // The first '>' or control byte after a '<' looked at, or the end of
    // what is held: the bytes before it hold none.
    std::size_t tag_stop_at_ = 0;
    // The last nested capture taken: where its '<' stands in both windows,
    // and its length (0 for none).
    std::size_t nested_i_ = 0;
    std::size_t nested_o_ = 0;
    std::size_t nested_length_ = 0;
};

#undef ZORBEL_STEP

}  // namespace

TokenCode take_plain_run(RewriteState& s, const PlainRunRules& rules) {
    if (s.pending_tag_end) return TOK_EOF;
    if (s.input_window.held_ahead() == 0 || s.work_window.room_ahead() == 0) return TOK_EOF;
    const unsigned char first = *s.input_window.ahead();
    if (first == '>' || (first == '<' && !rules.tags && !rules.tag_body)) return TOK_EOF;
    // A tag's inside is read by a run of its own, which follows where
    // attribute values lie; the main loop's runs are compiled without it.
    return rules.tag_body ? RunTaker<true>(s, rules).take() : RunTaker<false>(s, rules).take();
}

}  // namespace zorbel
