#include "html5/page_tree.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

namespace zorbel::html5 {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// A line end with the blanks and tabs around it, and any run of them, as one
// LF. A blank with no line end in its run stays as it is, so a blank turned
// into a line break still shows.
std::string fold_line_ends(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ' ' || s[i] == '\t' || s[i] == '\n') {
            std::size_t j = i;
            bool line_end = false;
            while (j < s.size() && (s[j] == ' ' || s[j] == '\t' || s[j] == '\n')) line_end |= s[j++] == '\n';
            if (line_end) out += '\n';
            else out.append(s.substr(i, j - i));
            i = j;
        } else {
            out += s[i++];
        }
    }
    return out;
}

// The characters the quote and &nbsp; rewrites produce, as the plain ones
// they stand for (the parser reads &#147; &#148; &#146; as U+201C U+201D
// U+2019).
std::string plain_quotes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80) {
            const auto d = static_cast<unsigned char>(s[i + 2]);
            if (d == 0x9C || d == 0x9D) { out += '"'; i += 2; continue; }
            if (d == 0x99) { out += '\''; i += 2; continue; }
        }
        if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xA0) {
            out += ' ';
            ++i;
            continue;
        }
        out += s[i];
    }
    return out;
}

// In raw text (iframe, noembed, noframes, noscript) the parser reads no
// entities, so the rewrites' entities stand there as written.
std::string plain_entities(std::string_view s) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&#147;", '"'}, {"&#148;", '"'}, {"&quot;", '"'}, {"&#146;", '\''}, {"&nbsp;", ' '}};
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        bool hit = false;
        for (const auto& [entity, plain] : kEntities) {
            if (s.substr(i, entity.size()) == entity) {
                out += plain;
                i += entity.size();
                hit = true;
                break;
            }
        }
        if (!hit) out += s[i++];
    }
    return out;
}

std::string collapse_space(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (is_space(c)) {
            if (out.empty() || out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string without_space(std::string_view s) {
    std::string out;
    for (char c : s)
        if (!is_space(c)) out += c;
    return out;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string element_name(const GumboElement& e) {
    std::string name;
    if (e.tag != GUMBO_TAG_UNKNOWN) {
        name = gumbo_normalized_tagname(e.tag);
    } else {
        GumboStringPiece piece = e.original_tag;
        gumbo_tag_from_original_text(&piece);
        name = lower(std::string_view(piece.data, piece.length));
    }
    if (e.tag_namespace == GUMBO_NAMESPACE_SVG) return "svg:" + name;
    if (e.tag_namespace == GUMBO_NAMESPACE_MATHML) return "math:" + name;
    return name;
}

bool is_html(const GumboElement& e, GumboTag tag) { return e.tag == tag && e.tag_namespace == GUMBO_NAMESPACE_HTML; }

bool unprotected_element(const GumboElement& e) {
    return is_html(e, GUMBO_TAG_PRE) || is_html(e, GUMBO_TAG_TEXTAREA) || is_html(e, GUMBO_TAG_LISTING) ||
           is_html(e, GUMBO_TAG_XMP);
}

std::string start_tag(const GumboElement& e, bool fold) {
    std::string s = "<" + element_name(e);
    for (unsigned i = 0; i < e.attributes.length; ++i) {
        const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
        s += ' ';
        s += a->name;
        s += "=\"";
        s += fold ? fold_line_ends(a->value) : std::string(a->value);
        s += '"';
    }
    return s + ">";
}

bool is_stamp_marker(const GumboNode& node) {
    return node.type == GUMBO_NODE_COMMENT && lower(node.v.text.text) == " $zbl$:datetime ";
}

class TreeReader {
public:
    explicit TreeReader(PageTree& tree) : tree_(tree) {}

    void read(const GumboNode* document) {
        const GumboDocument& doc = document->v.document;
        if (doc.has_doctype)
            tree_.doctype = "<!DOCTYPE " + fold_line_ends(doc.name) + " public=\"" +
                            fold_line_ends(doc.public_identifier) + "\" system=\"" +
                            fold_line_ends(doc.system_identifier) + "\">";
        tree_.doctype += " quirks mode " + std::to_string(doc.doc_type_quirks_mode);
        // Walked with a stack of its own: generated pages nest deeply.
        struct Step {
            const GumboNode* node;
            bool closing;
        };
        std::vector<Step> stack;
        for (unsigned i = doc.children.length; i-- > 0;)
            stack.push_back({static_cast<const GumboNode*>(doc.children.data[i]), false});
        while (!stack.empty()) {
            const Step step = stack.back();
            stack.pop_back();
            const GumboNode& node = *step.node;
            if (step.closing) {
                skip_stamp_ = false;  // an end tag ends the stamp too
                close(node);
                continue;
            }
            const bool stamp = skip_stamp_;
            skip_stamp_ = false;
            switch (node.type) {
                case GUMBO_NODE_ELEMENT:
                case GUMBO_NODE_TEMPLATE: {
                    open(node);
                    stack.push_back({&node, true});
                    const GumboVector& children = node.v.element.children;
                    for (unsigned i = children.length; i-- > 0;)
                        stack.push_back({static_cast<const GumboNode*>(children.data[i]), false});
                    break;
                }
                case GUMBO_NODE_TEXT:
                case GUMBO_NODE_WHITESPACE:
                case GUMBO_NODE_CDATA:
                    if (!stamp) text(node);
                    break;
                case GUMBO_NODE_COMMENT:
                    skip_stamp_ = is_stamp_marker(node);
                    break;
                case GUMBO_NODE_DOCUMENT:
                    break;
            }
        }
        drop_final_space();
    }

private:
    void open(const GumboNode& node) {
        const GumboElement& e = node.v.element;
        ++tree_.elements;
        if (unprotected_depth_ > 0) {
            ++unprotected_depth_;
            tree_.unprotected.back() += start_tag(e, false);
        } else if (unprotected_element(e)) {
            unprotected_depth_ = 1;
            tree_.unprotected.emplace_back();
            tree_.unprotected_offsets.push_back(e.start_pos.offset);
            tree_.unprotected_names.push_back(element_name(e));
        }
        tree_.items.push_back({TreeItem::Kind::kOpen, start_tag(e, true), e.start_pos.offset});
    }

    void close(const GumboNode& node) {
        const GumboElement& e = node.v.element;
        const std::string tag = "</" + element_name(e) + ">";
        if (unprotected_depth_ > 0 && --unprotected_depth_ > 0) tree_.unprotected.back() += tag;
        tree_.items.push_back({TreeItem::Kind::kClose, tag, e.end_pos.offset});
    }

    void text(const GumboNode& node) {
        const std::string_view raw = node.v.text.text;
        const std::size_t offset = node.v.text.start_pos.offset;
        const GumboNode* parent = node.parent;
        const GumboElement* p = parent && parent->type != GUMBO_NODE_DOCUMENT ? &parent->v.element : nullptr;
        if (unprotected_depth_ > 0) tree_.unprotected.back() += raw;
        if (p && (p->tag == GUMBO_TAG_SCRIPT || p->tag == GUMBO_TAG_STYLE)) {
            tree_.items.push_back({TreeItem::Kind::kRaw, fold_line_ends(raw), offset});
            return;
        }
        std::string mapped = (p && (is_html(*p, GUMBO_TAG_IFRAME) || is_html(*p, GUMBO_TAG_NOEMBED) ||
                                    is_html(*p, GUMBO_TAG_NOFRAMES) || is_html(*p, GUMBO_TAG_NOSCRIPT) ||
                                    is_html(*p, GUMBO_TAG_XMP) || is_html(*p, GUMBO_TAG_PLAINTEXT)))
                                 ? plain_quotes(plain_entities(raw))
                                 : plain_quotes(raw);
        add_text(unprotected_depth_ > 0 ? without_space(mapped) : collapse_space(mapped), offset);
    }

    // White space at the very end of the page renders as nothing, and the
    // line pass ends the last line with CR LF where it had no line end.
    // Only end tags follow such space, so it is taken wherever it stands
    // among them.
    void drop_final_space() {
        auto& items = tree_.items;
        for (std::size_t i = items.size(); i > 0; --i) {
            TreeItem& item = items[i - 1];
            if (item.kind == TreeItem::Kind::kClose) continue;
            if (item.kind != TreeItem::Kind::kText) return;
            if (item.text.back() == ' ') item.text.pop_back();
            if (!item.text.empty()) return;
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(i - 1));
        }
    }

    // Appends text to the stream; white space that follows start tags moves
    // in front of the first of them.
    void add_text(std::string t, std::size_t offset) {
        auto& items = tree_.items;
        if (!t.empty() && t[0] == ' ') {
            std::size_t first_open = items.size();
            while (first_open > 0 && items[first_open - 1].kind == TreeItem::Kind::kOpen) --first_open;
            if (first_open < items.size()) {
                t.erase(0, 1);
                if (first_open > 0 && items[first_open - 1].kind == TreeItem::Kind::kText) {
                    if (items[first_open - 1].text.back() != ' ') items[first_open - 1].text += ' ';
                } else {
                    items.insert(items.begin() + static_cast<std::ptrdiff_t>(first_open),
                                 TreeItem{TreeItem::Kind::kText, " ", offset});
                }
            }
        }
        if (t.empty()) return;
        if (!items.empty() && items.back().kind == TreeItem::Kind::kText) {
            std::string& last = items.back().text;
            if (!last.empty() && last.back() == ' ' && t[0] == ' ') t.erase(0, 1);
            last += t;
        } else {
            items.push_back({TreeItem::Kind::kText, std::move(t), offset});
        }
    }

    PageTree& tree_;
    int unprotected_depth_ = 0;
    bool skip_stamp_ = false;
};

std::string clipped(std::string_view s, std::size_t from, std::size_t width) {
    const std::size_t start = from > width ? from - width : 0;
    std::string out = start > 0 ? "..." : "";
    out += escaped(s.substr(start, 2 * width));
    if (start + 2 * width < s.size()) out += "...";
    return out;
}

std::string kind_name(TreeItem::Kind k) {
    switch (k) {
        case TreeItem::Kind::kOpen: return "start tag";
        case TreeItem::Kind::kClose: return "end tag";
        case TreeItem::Kind::kText: return "text";
        case TreeItem::Kind::kRaw: return "script/style";
    }
    return "?";
}

std::size_t first_mismatch(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

// What stands at item i of one side: the items just before it, the item
// itself clipped around the first differing character, and the page's own
// bytes where the parser found it.
std::string side(const char* label, std::string_view page, const PageTree& tree, std::size_t i,
                 std::size_t at_char) {
    std::string out = std::string("  ") + label + ":\n";
    std::string context;
    for (std::size_t k = i > 3 ? i - 3 : 0; k < i; ++k) context += tree.items[k].text.substr(0, 60);
    out += "    stream: ..." + escaped(context.size() > 120 ? context.substr(context.size() - 120) : context);
    if (i < tree.items.size()) {
        const TreeItem& item = tree.items[i];
        out += " >>>[" + kind_name(item.kind) + "] " + clipped(item.text, at_char, 60) + "\n";
        const std::size_t from = item.offset > 40 ? item.offset - 40 : 0;
        out += "    page bytes from offset " + std::to_string(from) + ": " +
               escaped(page.substr(std::min(from, page.size()), 160)) + "\n";
    } else {
        out += " >>>[end of page]\n";
    }
    return out;
}

}  // namespace

std::string escaped(std::string_view bytes) {
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

// Gumbo's memory, taken in large blocks and all given back at once when
// the next parse starts. Gumbo makes a great many small allocations, and
// under the sanitizers each one through malloc costs more than the parse
// itself.
class TreeParser::Arena {
public:
    static void* allocate(void* arena, std::size_t size) { return static_cast<Arena*>(arena)->take(size); }
    static void deallocate(void*, void*) {}

    // Frees what the last parse took; the memory is kept, in one block as
    // large as all of it, for the next.
    void reset() {
        if (blocks_.size() > 1) {
            blocks_.clear();
            blocks_.push_back(std::make_unique_for_overwrite<unsigned char[]>(total_));
            size_ = total_;
        }
        next_ = blocks_.empty() ? nullptr : blocks_.back().get();
        left_ = blocks_.empty() ? 0 : size_;
    }

private:
    void* take(std::size_t size) {
        size = (size + 15) & ~std::size_t{15};  // malloc's alignment
        if (size > left_) {
            // Each block twice the last: few blocks for a large page.
            size_ = std::max(size, 2 * size_);
            blocks_.push_back(std::make_unique_for_overwrite<unsigned char[]>(size_));
            total_ += size_;
            next_ = blocks_.back().get();
            left_ = size_;
        }
        void* p = next_;
        next_ += size;
        left_ -= size;
        return p;
    }

    std::vector<std::unique_ptr<unsigned char[]>> blocks_;
    std::size_t size_ = std::size_t{32} << 10;  // of the last block
    std::size_t total_ = 0;                     // of all blocks
    unsigned char* next_ = nullptr;
    std::size_t left_ = 0;
};

TreeParser::TreeParser() : arena_(std::make_unique<Arena>()) {}
TreeParser::~TreeParser() = default;

PageTree TreeParser::read(std::string_view page) {
    arena_->reset();
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::allocate;
    options.deallocator = &Arena::deallocate;
    options.userdata = arena_.get();
    options.max_errors = 0;  // the parse errors are not looked at
    // Whatever the parse made is dropped with the arena's next reset.
    const GumboOutput* out = gumbo_parse_with_options(&options, page.data(), page.size());
    PageTree tree;
    TreeReader(tree).read(out->document);
    return tree;
}

PageTree read_tree(std::string_view page) { return TreeParser().read(page); }

Verdict judge(std::string_view before, std::string_view after) { return TreeParser().judge(before, after); }

Verdict TreeParser::judge(std::string_view before, std::string_view after) {
    const PageTree a = read(before);
    const PageTree b = read(after);
    Verdict v;
    v.elements_before = a.elements;
    v.elements_after = b.elements;
    if (a.doctype != b.doctype) {
        v.doctype_same = false;
        v.difference = "the doctype differs\n  before: " + escaped(a.doctype) + "\n  after:  " + escaped(b.doctype) + "\n";
    }
    const std::size_t n = std::max(a.items.size(), b.items.size());
    for (std::size_t i = 0; i < n; ++i) {
        const bool in_a = i < a.items.size();
        const bool in_b = i < b.items.size();
        if (in_a && in_b && a.items[i].kind == b.items[i].kind && a.items[i].text == b.items[i].text) continue;
        const std::size_t at = in_a && in_b ? first_mismatch(a.items[i].text, b.items[i].text) : 0;
        v.tree_same = false;
        v.difference += "elements " + std::to_string(a.elements) + " before, " + std::to_string(b.elements) +
                       " after; first difference at stream item " + std::to_string(i) + "\n" +
                       side("before", before, a, i, at) + side("after", after, b, i, at);
        break;
    }
    v.same = v.tree_same && v.doctype_same;
    if (!v.tree_same) return v;
    for (std::size_t k = 0; k < a.unprotected.size() && k < b.unprotected.size(); ++k) {
        if (a.unprotected[k] == b.unprotected[k]) continue;
        if (v.unprotected_differences++ == 0) {
            const std::size_t at = first_mismatch(a.unprotected[k], b.unprotected[k]);
            v.unprotected_excerpt = "<" + a.unprotected_names[k] + "> at offset " +
                                    std::to_string(a.unprotected_offsets[k]) + " before, " +
                                    std::to_string(b.unprotected_offsets[k]) + " after:\n    before: " +
                                    clipped(a.unprotected[k], at, 40) + "\n    after:  " +
                                    clipped(b.unprotected[k], at, 40) + "\n";
        }
    }
    return v;
}

}  // namespace zorbel::html5
