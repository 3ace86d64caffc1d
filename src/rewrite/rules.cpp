#include "rewrite/rules.h"

#include <algorithm>
#include <bit>

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

// The image placeholder is compared whole, ignoring case, and removed only
// when asked; the comment placeholder is a tag beginning with "<comment"
// that holds the namespace attribute, both in exact case.
bool is_placeholder(const Options& options, std::string_view text) {
    if (options.dump_editor_junk && equals_ignoring_case(text, kImagePlaceholder)) return true;
    return text.starts_with(kCommentPlaceholderStart) &&
           text.find(kCommentPlaceholderNamespace) != std::string_view::npos;
}

TagKind classify_marker(const Options& options, std::string_view text) {
    if (equals_ignoring_case(text, kMarkerUncurly)) return TagKind::kUncurly;
    if (equals_ignoring_case(text, kMarkerCurly)) return TagKind::kCurly;
    if (equals_ignoring_case(text, kMarkerDontWrap)) return TagKind::kDontWrap;
    if (options.datetime_stamps && equals_ignoring_case(text, kMarkerDateTime)) return TagKind::kDateTime;
    return TagKind::kGeneric;
}

}  // namespace

TokenCode entity_token(std::string_view text) {
    if (text == kOpenQuote) return TOK_LDQUO;
    if (text == kCloseQuote) return TOK_RDQUO;
    if (text == "&quot;") return TOK_QUOT;
    if (text == "&nbsp;") return TOK_NBSP;
    return TOK_ENTITY;
}

TagKind classify_named_tag(const Options& options, std::string_view text) {
    switch (lower(static_cast<unsigned char>(text[1]))) {
        case '!':
            return classify_marker(options, text);
        // classify_tag has ruled out, by their third byte, most other
        // elements named so (<span>, <strong>, </td>).
        case 's':
            if (starts_with_ignoring_case(text, "<script")) return TagKind::kScript;
            if (starts_with_ignoring_case(text, "<style")) return TagKind::kStyle;
            return TagKind::kGeneric;
        case '/':
            if (starts_with_ignoring_case(text, "</script")) return TagKind::kEndScript;
            if (starts_with_ignoring_case(text, "</style")) return TagKind::kEndStyle;
            return TagKind::kGeneric;
        case 'c':
        case 'i':
            return is_placeholder(options, text) ? TagKind::kPlaceholder : TagKind::kGeneric;
        default:
            return TagKind::kGeneric;
    }
}

namespace {

// The byte sets a held tag is read by, all from one load of each block.
constexpr ByteSet kTagEnd = byte_set(0, {'>'});
constexpr ByteSet kDquote = byte_set(0, {'"'});
constexpr ByteSet kApos = byte_set(0, {'\''});
constexpr ByteSet kEquals = byte_set(0, {'='});
constexpr ByteSet kSpace = byte_set(0, {' '});
constexpr ByteSet kControl = byte_set(0x20);
constexpr ByteSet kTagOpen = byte_set(0, {'<'});
constexpr ByteSet kAmp = byte_set(0, {'&'});
using TagBlock = ByteSetBlock<kTagEnd, kDquote, kApos, kEquals, kSpace, kControl, kTagOpen, kAmp>;
enum TagMask { kGt, kDq, kSq, kEq, kSp, kCtl, kLt, kAmpersand, kTagMasks };

constexpr std::size_t kTagBlocks = kHeldTagBlocks;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Sets the bits of positions from..to-1 in one bit per byte of a held tag.
void set_range(std::uint64_t (&bits)[kTagBlocks], std::size_t from, std::size_t to) {
    for (std::size_t k = from / 64; k * 64 < to; ++k) {
        const std::size_t lo = std::max(from, 64 * k) - 64 * k;
        const std::size_t hi = std::min(to, 64 * k + 64) - 64 * k;
        const std::uint64_t up_to = hi == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << hi) - 1;
        bits[k] |= up_to & (~std::uint64_t{0} << lo);
    }
}

// Bit p: an odd number of '"' at or before p, counting those of the
// blocks before (odd_before, all ones after an odd number), which it
// carries on to the next block.
[[gnu::always_inline]] inline std::uint64_t odd_quotes(std::uint64_t quotes, std::uint64_t& odd_before) {
    const std::uint64_t odd = prefix_xor(quotes) ^ odd_before;
    odd_before = (odd >> 63) != 0 ? ~std::uint64_t{0} : 0;
    return odd;
}

// One block of common_tag_values (below): false when the block shows the
// tag is not of that kind; otherwise its values set, and end set to the
// '>''s index in the block, or 64 with the counts carried on to the next.
[[gnu::always_inline]] inline bool common_block_values(const std::uint64_t* mk, std::uint64_t& odd_before,
                                                       std::uint64_t& equals_before, std::uint64_t& values,
                                                       std::size_t& end) {
    std::uint64_t odd_after = odd_before;
    const std::uint64_t odd = odd_quotes(mk[kDq], odd_after);
    const std::uint64_t inside = odd & ~mk[kDq];
    const std::uint64_t ends = mk[kGt] & ~inside;
    const std::uint64_t before = (ends & -ends) - 1;  // all of the block when no '>' ends it
    const std::uint64_t after_equals = (mk[kEq] << 1) | equals_before;
    if ((mk[kDq] & odd & before & ~after_equals) != 0) return false;
    if ((mk[kSq] & ~inside & before) != 0) return false;
    values = inside & before;
    end = static_cast<std::size_t>(std::countr_zero(ends));  // 64 when none
    odd_before = odd_after;
    equals_before = mk[kEq] >> 63;
    return true;
}

// The masks of a held tag's blocks, loaded block by block as they are
// looked at: most tags end in their first. Blocks not yet loaded are never
// looked at.
struct HeldTagMasks {
    const unsigned char* body;
    std::size_t limit;   // bytes of the body held, at most kTagBlocks blocks
    std::size_t blocks;  // blocks that hold them
    std::size_t loaded = 0;
    std::uint64_t m[kTagBlocks][kTagMasks];

    HeldTagMasks(const unsigned char* tag_body, std::size_t held)
        : body(tag_body), limit(held), blocks((held + kBlockBytes - 1) / kBlockBytes) {
        if (limit >= kBlockBytes) {
            // Most tags: the first block whole, loaded here and not in a call.
            TagBlock::into(body, m[0]);
            loaded = 1;
        } else {
            load_next();
        }
    }

    // Loads the next block; false when none is left.
    bool load_next() {
        if (loaded == blocks) return false;
        const std::size_t from = loaded * kBlockBytes;
        if (limit - from >= kBlockBytes) {
            TagBlock::into(body + from, m[loaded]);
        } else {
            TagBlock::into_part(body + from, limit - from, m[loaded]);
        }
        ++loaded;
        return true;
    }

    // The first byte at or after p in either of two sets, looking at more
    // blocks as needed, or kNone.
    std::size_t next(TagMask a, TagMask b, std::size_t p) {
        for (std::size_t k = p / 64;; ++k) {
            if (k == loaded && !load_next()) return kNone;
            std::uint64_t bits = m[k][a] | m[k][b];
            if (k == p / 64) bits &= ~std::uint64_t{0} << (p % 64);
            if (bits != 0) return 64 * k + static_cast<std::size_t>(std::countr_zero(bits));
        }
    }
};

// A tag with attribute values read from its masks alone, block after
// block, when it is of the common kind: every '"' before its '>' opens a
// value right after an '=' or closes one, and no '\'' stands outside a
// value. Then every value opened is closed by the next '"', and the '>' is
// the first outside them. From one block to the next the count of '"'
// carries on (odd or even: inside a value or not), and so does an '=' at a
// block's last byte. Returns the '>''s index and sets values (the bytes
// inside values, block by block), loading more blocks as needed; kNone for
// any other tag, or one with no '>' in the blocks there are, which the walk
// over the '=' reads.
std::size_t common_tag_values(HeldTagMasks& masks, std::uint64_t (&values)[kTagBlocks]) {
    std::uint64_t odd_before = 0;     // all ones after an odd number of '"'
    std::uint64_t equals_before = 0;  // bit 0: the byte before the block is an '='
    std::size_t end = 64;
    // The first block on its own: most tags end in it.
    if (!common_block_values(masks.m[0], odd_before, equals_before, values[0], end)) return kNone;
    if (end < 64) return end;
    for (std::size_t k = 1;; ++k) {
        if (k == masks.loaded && !masks.load_next()) return kNone;
        if (!common_block_values(masks.m[k], odd_before, equals_before, values[k], end)) return kNone;
        if (end < 64) return 64 * k + end;
    }
}

// A held tag whose '>' is at body[end], its masks loaded up to that
// block: its kind and, for a generic tag, what reading it again does.
// kOneBlock says the '>' is in the first block, as it is in most tags: the
// loops over blocks then fold away.
template <bool kOneBlock>
HeldTag read_ended_tag(const RewriteState& s, const unsigned char* body, std::size_t limit, std::size_t end,
                       bool has_values, const std::uint64_t (&m)[kTagBlocks][kTagMasks],
                       const std::uint64_t (&values)[kTagBlocks], std::int64_t column) {
    const std::size_t last_block = kOneBlock ? 0 : end / 64;
    // The bytes before the '>' in block k.
    const auto before_end_in = [&](std::size_t k) {
        return k < last_block ? ~std::uint64_t{0} : (std::uint64_t{1} << (end % 64)) - 1;
    };
    // A control byte before the end leaves the tag to the token loop.
    for (std::size_t k = 0; k <= last_block; ++k) {
        if ((m[k][kCtl] & before_end_in(k)) != 0) return HeldTag{limit, {}};
    }
    HeldTag tag{end, {}};
    // Only a generic tag is read again.
    tag.kind = classify_tag(s.options, std::string_view(reinterpret_cast<const char*>(body - 1), end + 2));
    if (tag.kind != TagKind::kGeneric) return tag;
    // Over the bytes before the '>': a '<' outside a value (a tag inside
    // the tag), an '&' (an entity), the last blank a wrap may break (not
    // inside a value or, in a tag without values, between two of its
    // double quotes), and the last byte that is not a blank.
    bool tag_inside = false;
    bool entity = false;
    std::size_t last_blank = kNone;
    std::size_t last_text = kNone;
    std::uint64_t quotes_odd = 0;  // all ones after an odd number of '"'
    std::uint64_t may_wrap[kTagBlocks] = {0, 0, 0, 0};  // blanks a wrap may break
    for (std::size_t k = 0; k <= last_block; ++k) {
        const std::uint64_t* mk = m[k];
        const std::uint64_t before_end = before_end_in(k);
        std::uint64_t protect = values[k];
        if (!has_values) {
            // Blanks between two '"' (a blank is no quote).
            protect = odd_quotes(mk[kDq], quotes_odd);
        }
        tag_inside |= (mk[kLt] & ~values[k] & before_end) != 0;
        entity |= (mk[kAmpersand] & before_end) != 0;
        if (const std::uint64_t blanks = mk[kSp] & ~protect & before_end) {
            last_blank = 64 * k + 63 - static_cast<std::size_t>(std::countl_zero(blanks));
            may_wrap[k] = blanks;
        }
        if (const std::uint64_t text = ~mk[kSp] & before_end) {
            last_text = 64 * k + 63 - static_cast<std::size_t>(std::countl_zero(text));
        }
    }
    if (tag_inside || (entity && amp_starts_entity(s))) return tag;
    tag.reading.last_char = last_text == kNone ? -1 : body[last_text];
    // Columns only grow along the tag up to a wrap: if its last blank that
    // may wrap does not, none does. The tag's first token never wraps.
    if (tag_blank_may_wrap(s, false) && last_blank != kNone && last_blank > 0 &&
        blank_wraps(column + static_cast<std::int64_t>(last_blank) + 1, s.options.wrap_margin)) {
        // Which do, in order: a blank at b is at column base + b + 1, and
        // a wrap there starts the next line with the byte after it.
        may_wrap[0] &= ~std::uint64_t{1};
        std::int64_t base = column;
        for (std::size_t k = 0; k <= last_block; ++k) {
            for (std::uint64_t bits = may_wrap[k]; bits != 0; bits &= bits - 1) {
                const auto b = static_cast<std::int64_t>(64 * k) + std::countr_zero(bits);
                if (blank_wraps(base + b + 1, s.options.wrap_margin)) {
                    tag.wraps[k] |= bits & -bits;
                    base = -b - 1;
                }
            }
        }
        tag.reading.wrapped = true;
        return tag;
    }
    tag.reading.unchanged = true;
    return tag;
}

}  // namespace

HeldTag read_held_tag(const RewriteState& s, const unsigned char* body, std::size_t limit, std::int64_t column) {
    const HeldTag none{limit, {}};
    if (limit == 0) return none;
    limit = std::min(limit, kTagBlocks * kBlockBytes);

    HeldTagMasks masks(body, limit);
    const auto& m = masks.m;

    // Where the tag ends, and where its attribute values lie (AttrValueScan
    // read from the masks: a value opens at a quote after an '=' and the
    // blanks after it, and closes at the same quote).
    std::size_t end = kNone;
    std::uint64_t values[kTagBlocks] = {0, 0, 0, 0};
    const bool has_values = AttrValueScan::opens_values(body[0]);
    if (!has_values) {
        end = masks.next(kGt, kGt, 0);
    } else if (const std::size_t common = common_tag_values(masks, values); common != kNone) {
        end = common;
    } else {
        std::fill(std::begin(values), std::end(values), 0);
        for (std::size_t p = 1;;) {
            const std::size_t e = masks.next(kGt, kEq, p);
            if (e == kNone || body[e] == '>') {
                end = e;
                break;
            }
            std::size_t j = e + 1;
            while (j < limit && (body[j] == '=' || AttrValueScan::is_blank_before_value(body[j]))) ++j;
            if (j >= limit) break;
            const unsigned char c = body[j];
            if (c == '>') {
                end = j;
                break;
            }
            if (c == '"' || c == '\'') {
                const TagMask quote = c == '"' ? kDq : kSq;
                const std::size_t close = masks.next(quote, quote, j + 1);
                if (close == kNone) break;
                set_range(values, j + 1, close);
                p = close + 1;
            } else {
                p = j + 1;
            }
        }
    }
    // No '>' ends it within the limit.
    if (end == kNone || end >= limit) return none;
    return end < kBlockBytes ? read_ended_tag<true>(s, body, limit, end, has_values, m, values, column)
                             : read_ended_tag<false>(s, body, limit, end, has_values, m, values, column);
}


}  // namespace zorbel
