// Where a quoted attribute value begins and ends inside a tag, as an HTML
// parser reads it. Old pages put '>' and '<' in such values (alt="a > b",
// href="#<tt>x</tt>"); a tag that ended at such a '>' would hand the rest of
// its value to the text rules, and a browser would then read the paragraphs
// after it as part of the tag.
//
// In a start or end tag (a '<' followed by an ASCII letter or '/'), a '"' or
// '\'' that comes right after an '=' (blanks, tabs, CR, LF and form feeds
// may stand between) opens a value, which runs to the next byte equal to that quote.
// Inside it a '>' ends no tag, a '<' starts nothing, and no blank wraps. Any
// '=' outside a value counts; a quote anywhere else is an ordinary byte.
// Comments, <!DOCTYPE ...> and <?...> (and a '<' before any other byte)
// have no values: their first '>' ends them. When such a tag is read again
// to wrap it, a blank between two of its double quotes is not wrapped, each
// '"' switching that on or off: a line break in a DOCTYPE's quoted public
// identifier would change how a browser lays out the page.
//
// The scan is fed the bytes after the tag's '<', one at a time or in runs,
// and says at any point whether the next byte stands inside a value.
#pragma once

#include <cstddef>
#include <cstring>

namespace zorbel {

class AttrValueScan {
public:
    // A scan at the start of a tag's bytes, right after its '<': the first
    // byte fed says whether the tag can have values.
    static constexpr AttrValueScan after_tag_open() { return AttrValueScan(kUnstarted); }
    // A scan after a start or end tag's name, where values count.
    static constexpr AttrValueScan after_tag_name() { return AttrValueScan(kOutside); }
    // A scan that never finds a value (nothing is being read as a tag).
    static constexpr AttrValueScan none() { return AttrValueScan(kOff); }

    // A tag whose first byte after its '<' is c can hold attribute values:
    // a start or end tag.
    static constexpr bool opens_values(unsigned char c) { return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '/'; }
    // The white space an HTML parser passes over before a value.
    static constexpr bool is_blank_before_value(unsigned char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
    }

    constexpr AttrValueScan() = default;
    constexpr bool operator==(const AttrValueScan&) const = default;

    // The next byte fed stands inside a value.
    constexpr bool in_value() const { return state_ == kInValue; }
    // The quote that closes the value, while in_value().
    constexpr unsigned char value_quote() const { return quote_; }

    // A blank fed next is not to be wrapped: inside a value, or between two
    // double quotes of a tag without values.
    constexpr bool protects_blanks() const { return state_ == kInValue || (state_ == kNoValues && quoted_); }

    // Every byte fed now may change the state: the tag's first byte, or a
    // byte after an '=' outside a value. Elsewhere only an '=' (outside a
    // value) or the value's own quote (inside one) does.
    constexpr bool needs_each_byte() const { return state_ == kUnstarted || state_ == kAfterEquals; }

    // The tag can have no values, or no tag is being read.
    constexpr bool off() const { return state_ == kOff || state_ == kNoValues; }

    // A scan of a tag without values, read again from a point after its
    // first byte: its double quotes are counted from there on.
    static constexpr AttrValueScan without_values() { return AttrValueScan(kNoValues); }

    constexpr void step(unsigned char c) {
        switch (state_) {
            case kOff:
                return;
            case kUnstarted:
                if (opens_values(c)) {
                    state_ = kOutside;
                    return;
                }
                state_ = kNoValues;
                [[fallthrough]];
            case kNoValues:
                if (c == '"') quoted_ = !quoted_;
                return;
            case kOutside:
                if (c == '=') state_ = kAfterEquals;
                return;
            case kAfterEquals:
                if (c == '"' || c == '\'') {
                    state_ = kInValue;
                    quote_ = c;
                } else if (c != '=' && !is_blank_before_value(c)) {
                    state_ = kOutside;  // an unquoted value, or none
                }
                return;
            case kInValue:
                if (c == quote_) state_ = kOutside;
                return;
        }
    }

    // Steps over n bytes, jumping to the next byte that can change the state.
    void feed(const unsigned char* p, std::size_t n) {
        std::size_t i = 0;
        while (i < n) {
            if (state_ == kOff) return;
            if (state_ == kOutside || state_ == kInValue || state_ == kNoValues) {
                const unsigned char next = state_ == kOutside ? '=' : state_ == kInValue ? quote_ : '"';
                const void* hit = std::memchr(p + i, next, n - i);
                if (hit == nullptr) return;
                i = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
            }
            step(p[i++]);
        }
    }

    // The same as feed for n bytes none of which is a quote: then only an
    // '=' outside a value and the bytes after it change the state, and the
    // last byte that is no blank before a value settles it. A reading that
    // stops at every quote feeds the bytes between in one look back.
    void feed_unquoted(const unsigned char* p, std::size_t n) {
        if (n == 0) return;
        if (state_ == kUnstarted) {
            step(*p++);
            --n;
        }
        if (state_ != kOutside && state_ != kAfterEquals) return;
        for (std::size_t i = n; i-- > 0;) {
            if (!is_blank_before_value(p[i])) {
                state_ = p[i] == '=' ? kAfterEquals : kOutside;
                return;
            }
        }
    }

private:
    enum State : unsigned char { kOff, kUnstarted, kNoValues, kOutside, kAfterEquals, kInValue };
    constexpr explicit AttrValueScan(State state) : state_(state) {}

    State state_ = kOff;
    unsigned char quote_ = 0;
    bool quoted_ = false;  // kNoValues: an odd number of '"' fed
};

}  // namespace zorbel
