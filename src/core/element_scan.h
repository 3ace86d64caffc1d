// Where a page's verbatim and code elements lie, found on its bytes as an
// HTML parser finds them, for the rule that keeps them as written:
//   - verbatim: <pre>, <textarea>, <listing>, <xmp>; their content renders
//     exactly as written, so nothing in it may be removed, wrapped or
//     rewritten;
//   - code: <code>, <kbd>, <samp>, <tt>, <var>; their quotes, apostrophes
//     and &nbsp; are shown as written.
// Tags end where an HTML parser ends them (AttrValueScan). A tag inside a
// comment, inside script or style content, or inside the raw content of a
// <textarea> or <xmp> starts nothing. Elements of one kind may nest; an end
// tag with none open is ignored.
//
// Both passes feed it the bytes they read, in order, and ask it after each
// step. It holds a few bytes of state and no memory of the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/attr_values.h"

namespace zorbel {

class ElementScan {
public:
    bool in_verbatim() const { return verbatim_depth_ > 0; }
    bool in_code() const { return code_depth_ > 0; }

    void step(unsigned char c);

    // Steps over n bytes; runs of text with no '<' in them are passed over
    // at once.
    void feed(const unsigned char* p, std::size_t n);

private:
    enum Mode : unsigned char {
        kText,
        kOpen,       // after '<'
        kOpenSlash,  // after "</"
        kName,       // in a tag's name
        kInTag,      // after its name, up to its '>'
        kBang,       // after "<!"
        kBangDash,   // after "<!-"
        kComment,    // after "<!--", up to "-->"
        kBogus,      // <!DOCTYPE ...>, <?...>, </ followed by no letter: up to '>'
        kRaw,        // raw content: up to the end tag of raw_
    };
    // The elements whose content is raw text: no tag starts inside.
    enum Raw : unsigned char { kNone, kScript, kStyle, kTextarea, kXmp };

    void start_name(unsigned char c, bool end_tag);
    void end_of_tag();
    void raw_step(unsigned char c);

    Mode mode_ = kText;
    bool end_tag_ = false;
    // The tag's name in lower case, as far as it can name an element here;
    // name_length_ past the longest ("textarea") means none of them.
    static constexpr std::size_t kLongestName = 8;
    char name_[kLongestName] = {};
    std::size_t name_length_ = 0;
    AttrValueScan values_ = AttrValueScan::none();
    std::size_t comment_length_ = 0;  // bytes after "<!--", for "<!-->" and "<!--->"
    std::size_t dashes_ = 0;          // '-' just before the current byte in a comment
    Raw raw_ = kNone;
    std::size_t raw_matched_ = 0;     // of "</" and the raw element's name
    std::uint32_t verbatim_depth_ = 0;
    std::uint32_t code_depth_ = 0;
};

// A whole tag's text from its '<' that may open or close a verbatim or code
// element: a '<' or "</" followed by one of their names and a byte that ends
// a name. A fast path that takes tags without feeding a scan stops at these.
bool may_change_element(std::string_view tag);

}  // namespace zorbel
