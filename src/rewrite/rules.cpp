#include "rewrite/rules.h"

#include <cstring>

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

std::size_t find_tag_end(const unsigned char* body, std::size_t limit) {
    // Most tags hold no quote before their first '>' or control byte: no
    // value can start there, so that byte settles it.
    const std::size_t first = TagEndStops::find(body, limit);
    if (first == limit || body[first] != '>') return limit;
    if (std::memchr(body, '"', first) == nullptr && std::memchr(body, '\'', first) == nullptr) return first;
    AttrValueScan values = AttrValueScan::after_tag_open();
    bool ended = false;
    const std::size_t taken = take_tag_bytes(values, body, limit, ended, [](std::size_t) {});
    return ended ? taken - 1 : limit;
}

TagRereading reread_tag_body(const RewriteState& s, const unsigned char* body, std::size_t limit,
                             std::int64_t column) {
    // Only the bytes of kTagBodyStops matter to the reading; the bytes
    // between them are name or value bytes, each setting the token text.
    std::size_t j = TagBodyStops::find(body, limit);
    // Most tags hold nothing but name bytes before their '>'.
    if (j < limit) {
        if (const TagRereading name_only = reread_name_only(body, j); name_only.unchanged) return name_only;
    }
    TagRereading r;
    if (j > 0) r.last_char = body[j - 1];
    // Without a quote in the tag no value or quoted stretch can start:
    // '=' and '\'' then matter no more than name bytes.
    const bool quoted = std::memchr(body, '"', limit) != nullptr || std::memchr(body, '\'', limit) != nullptr;
    const auto next_stop = [&](std::size_t from) {
        return from + (quoted ? TagBodyStops::find(body + from, limit - from)
                              : TagBodyStopsUnquoted::find(body + from, limit - from));
    };
    AttrValueScan values = quoted ? AttrValueScan::after_tag_open() : AttrValueScan::none();
    values.feed(body, j);
    while (j < limit) {
        const unsigned char c = body[j];
        const bool in_value = values.in_value();
        const bool protected_blank = values.protects_blanks();
        if (c == '>' && !in_value) {
            r.unchanged = true;
            r.length = j + 1;
            return r;
        }
        if (c == ' ' || c == '\t') {
            // The tag's first token never wraps; later blanks count the
            // column with themselves.
            if (j > 0 && tag_blank_may_wrap(s, protected_blank) &&
                blank_wraps(column + static_cast<std::int64_t>(j) + 1, s.options.wrap_margin)) {
                return {};
            }
        } else if (c == '"' || c == '\'' || c == '=' || c == '>' || (c == '<' && in_value) ||
                   (c == '&' && !amp_starts_entity(s))) {
            r.last_char = c;
        } else {
            return {};  // a control byte, a tag inside the tag, or an entity
        }
        values.step(c);
        const std::size_t next = next_stop(j + 1);
        if (next > j + 1) {
            r.last_char = body[next - 1];
            values.feed(body + j + 1, next - j - 1);
        }
        j = next;
    }
    return {};
}

}  // namespace zorbel
