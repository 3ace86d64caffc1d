// A page as an HTML5 parser (Gumbo) builds it, laid out as one stream, and
// the comparison of a page before and after tidying.
//
// The stream holds the element tree (start and end of every element, with
// its attributes), script and style content, and the rendered text; the
// doctype is compared on its own. Each part is normalised for the rewrites
// zorbel makes on purpose, so that what is left to differ is a fault:
// - attribute values, doctype identifiers and script or style content: a
//   line end with the blanks and tabs around it, and any run of those, count
//   as one LF (trailing blanks, empty lines and indentation go, CR LF comes);
// - text: U+201C and U+201D count as '"', U+2019 as '\'', U+00A0 as a blank,
//   then every run of white space as one blank; white space right after a
//   start tag counts as standing in front of it (the anchor fix moves the
//   blank after a link's start tag there); the text after a DATETIME marker
//   comment up to the next tag is the stamp and is left out; comments are
//   left out.
// Inside <pre>, <textarea>, <listing> and <xmp>, which zorbel tidies like
// any other text, white space is left out of the stream altogether; their
// exact content is compared on its own, and differences there are counted
// rather than failed.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zorbel::html5 {

struct TreeItem {
    enum class Kind { kOpen, kClose, kText, kRaw };
    Kind kind;
    std::string text;     // normalised, as it is compared
    std::size_t offset;   // where in the page the parser found it
};

struct PageTree {
    std::vector<TreeItem> items;
    // The exact content of each unprotected element (outermost only), in
    // document order, with the page offset of its start tag.
    std::vector<std::string> unprotected;
    std::vector<std::size_t> unprotected_offsets;
    std::vector<std::string> unprotected_names;
    std::size_t elements = 0;  // every element node, implied ones included
    std::string doctype;       // its name and identifiers, and the quirks mode they set
};

PageTree read_tree(std::string_view page);

struct Verdict {
    bool same = true;                   // no difference outside the unprotected elements
    bool tree_same = true;              // the same, the doctype left aside
    bool doctype_same = true;
    std::string difference;             // the doctype's, and the first in the tree, with excerpts
    std::size_t unprotected_differences = 0;  // unprotected elements whose content changed
    std::string unprotected_excerpt;    // the first of those, with excerpts
    std::size_t elements_before = 0;
    std::size_t elements_after = 0;
};

Verdict judge(std::string_view before, std::string_view after);

// The same, for many pages: the parser's memory is kept from one page to
// the next.
class TreeParser {
public:
    TreeParser();
    ~TreeParser();
    TreeParser(const TreeParser&) = delete;
    TreeParser& operator=(const TreeParser&) = delete;

    PageTree read(std::string_view page);
    Verdict judge(std::string_view before, std::string_view after);

private:
    class Arena;
    std::unique_ptr<Arena> arena_;
};

// The bytes with line ends, tabs and other control bytes written as escapes,
// for messages.
std::string escaped(std::string_view bytes);

}  // namespace zorbel::html5
