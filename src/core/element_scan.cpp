#include "core/element_scan.h"

#include <cstring>

namespace zorbel {

namespace {

constexpr bool is_letter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
constexpr unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c | 0x20) : c; }
// The bytes that end a tag's name: HTML's white space, '/' and '>'.
constexpr bool ends_name(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/' || c == '>';
}

enum class Kind { kOther, kVerbatim, kCode };

Kind kind_of(std::string_view name) {
    for (std::string_view v : {"pre", "textarea", "listing", "xmp"}) {
        if (name == v) return Kind::kVerbatim;
    }
    for (std::string_view c : {"code", "kbd", "samp", "tt", "var"}) {
        if (name == c) return Kind::kCode;
    }
    return Kind::kOther;
}

constexpr std::string_view raw_name(int raw) {
    switch (raw) {
        case 1: return "script";
        case 2: return "style";
        case 3: return "textarea";
        case 4: return "xmp";
        default: return "";
    }
}

}  // namespace

void ElementScan::start_name(unsigned char c, bool end_tag) {
    mode_ = kName;
    end_tag_ = end_tag;
    name_[0] = static_cast<char>(lower(c));
    name_length_ = 1;
}

void ElementScan::end_of_tag() {
    mode_ = kText;
    if (name_length_ > kLongestName) return;
    const std::string_view name(name_, name_length_);
    if (!end_tag_) {
        if (name == "script") raw_ = kScript;
        if (name == "style") raw_ = kStyle;
        if (name == "textarea") raw_ = kTextarea;
        if (name == "xmp") raw_ = kXmp;
        if (raw_ != kNone) {
            mode_ = kRaw;
            raw_matched_ = 0;
        }
    }
    // A start tag opens one more of its kind; an end tag closes one, if any.
    std::uint32_t* depth = nullptr;
    switch (kind_of(name)) {
        case Kind::kVerbatim: depth = &verbatim_depth_; break;
        case Kind::kCode: depth = &code_depth_; break;
        case Kind::kOther: return;
    }
    if (!end_tag_) {
        ++*depth;
    } else if (*depth > 0) {
        --*depth;
    }
}

// Raw content ends at "</" and the element's name, in any case, followed by
// a byte that ends a name; that end tag is then read as any other.
void ElementScan::raw_step(unsigned char c) {
    const std::string_view name = raw_name(raw_);
    if (raw_matched_ == 0) {
        if (c == '<') raw_matched_ = 1;
        return;
    }
    if (raw_matched_ == 1) {
        raw_matched_ = c == '/' ? 2 : (c == '<' ? 1 : 0);
        return;
    }
    const std::size_t k = raw_matched_ - 2;
    if (k < name.size()) {
        raw_matched_ = lower(c) == static_cast<unsigned char>(name[k]) ? raw_matched_ + 1 : (c == '<' ? 1 : 0);
        return;
    }
    if (!ends_name(c)) {
        raw_matched_ = c == '<' ? 1 : 0;
        return;
    }
    // The end tag of the raw element.
    std::memcpy(name_, name.data(), name.size());
    name_length_ = name.size();
    end_tag_ = true;
    raw_ = kNone;
    raw_matched_ = 0;
    mode_ = kInTag;
    values_ = AttrValueScan::none();  // an end tag's attributes mean nothing
    if (c == '>') end_of_tag();
}

void ElementScan::step(unsigned char c) {
    switch (mode_) {
        case kText:
            if (c == '<') mode_ = kOpen;
            return;
        case kOpen:
            if (is_letter(c)) {
                start_name(c, false);
            } else if (c == '/') {
                mode_ = kOpenSlash;
            } else if (c == '!') {
                mode_ = kBang;
            } else if (c == '?') {
                mode_ = kBogus;
            } else if (c != '<') {
                mode_ = kText;
            }
            return;
        case kOpenSlash:
            if (is_letter(c)) {
                start_name(c, true);
            } else {
                mode_ = c == '>' ? kText : kBogus;
            }
            return;
        case kName:
            if (ends_name(c)) {
                mode_ = kInTag;
                values_ = AttrValueScan::after_tag_name();
                if (c == '>') end_of_tag();
                return;
            }
            if (name_length_ < kLongestName) name_[name_length_] = static_cast<char>(lower(c));
            if (name_length_ <= kLongestName) ++name_length_;
            return;
        case kInTag:
            if (c == '>' && !values_.in_value()) {
                end_of_tag();
                return;
            }
            values_.step(c);
            return;
        case kBang:
            mode_ = c == '-' ? kBangDash : (c == '>' ? kText : kBogus);
            return;
        case kBangDash:
            if (c == '-') {
                mode_ = kComment;
                comment_length_ = 0;
                dashes_ = 0;
            } else {
                mode_ = c == '>' ? kText : kBogus;
            }
            return;
        case kComment:
            // "-->" ends it, and so do "<!-->" and "<!--->".
            if (c == '>' && (dashes_ >= 2 || comment_length_ == dashes_)) {
                mode_ = kText;
                return;
            }
            ++comment_length_;
            dashes_ = c == '-' ? dashes_ + 1 : 0;
            return;
        case kBogus:
            if (c == '>') mode_ = kText;
            return;
        case kRaw:
            raw_step(c);
            return;
    }
}

void ElementScan::feed(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        if (mode_ == kText) {
            const void* lt = std::memchr(p + i, '<', n - i);
            if (lt == nullptr) return;
            i = static_cast<std::size_t>(static_cast<const unsigned char*>(lt) - p);
        } else if (mode_ == kRaw && raw_matched_ == 0) {
            const void* lt = std::memchr(p + i, '<', n - i);
            if (lt == nullptr) return;
            i = static_cast<std::size_t>(static_cast<const unsigned char*>(lt) - p);
        }
        step(p[i++]);
    }
}

bool may_change_element(std::string_view tag) {
    std::size_t at = 1;
    if (tag.size() > at && tag[at] == '/') ++at;
    char name[8] = {};  // the longest name, "textarea"
    std::size_t length = 0;
    for (std::size_t k = at; k < tag.size() && !ends_name(static_cast<unsigned char>(tag[k])); ++k) {
        if (length == sizeof name) return false;
        name[length++] = static_cast<char>(lower(static_cast<unsigned char>(tag[k])));
    }
    return kind_of(std::string_view(name, length)) != Kind::kOther;
}

}  // namespace zorbel
