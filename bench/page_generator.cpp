#include "page_generator.h"

#include <array>
#include <cstdio>
#include <iterator>

namespace zorbel::bench {
namespace {

// splitmix64: tiny, fast, and fully specified, unlike the standard
// distributions, whose results differ between library implementations.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 .. n-1; the modulo bias is far below anything a benchmark sees.
    unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }
    unsigned between(unsigned lo, unsigned hi) { return lo + below(hi - lo + 1); }
    bool percent(unsigned p) { return below(100) < p; }
    template <typename List>
    const auto& pick(const List& items) { return items[below(static_cast<unsigned>(std::size(items)))]; }

private:
    std::uint64_t state_;
};

constexpr std::string_view kWords[] = {
    "the", "of", "and", "to", "a", "in", "is", "that", "for", "it", "as", "was", "with",
    "be", "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which",
    "but", "have", "an", "had", "they", "you", "were", "their", "one", "all", "we",
    "can", "her", "has", "there", "been", "if", "more", "when", "will", "would", "who",
    "so", "no", "garden", "river", "morning", "letter", "village", "photograph", "recipe",
    "weather", "church", "station", "holiday", "neighbour", "harvest", "meeting", "window",
    "bicycle", "chapter", "committee", "afternoon", "journey", "kitchen", "lantern",
    "don't", "it's", "isn't", "we're", "you'll", "can't", "o'clock", "Smith's", "they've",
    "wasn't", "I'm", "children's", "rock'n'roll", "summer's", "couldn't", "that's",
    "beautiful", "remarkable", "quietly", "altogether", "nevertheless", "approximately",
    "well-known", "twenty-five", "1998", "3.5"};

constexpr std::string_view kDirs[] = {
    "news", "photos", "club", "history", "events", "members", "archive", "recipes"};
constexpr std::string_view kHosts[] = {
    "http://www.example.com/", "http://members.example.net/~jones/", "../", ""};
constexpr std::string_view kParaTags[] = {
    "<p>", "<P>", "<p align=\"justify\">", "<p class=\"body\">", "<P ALIGN=\"left\">"};
constexpr std::string_view kInline[] = {"b", "i", "em"};

// How one page was written: its line ends, its indentation and its habits.
struct Style {
    std::string_view eol;
    std::string_view indent;
    bool editor_saved;        // whole paragraphs on one long line
    unsigned trailing_pct;    // lines that end in stray blanks
    unsigned min_width, max_width;
};

class PageBuilder {
public:
    explicit PageBuilder(std::uint64_t seed) : rng_(seed) {
        style_.eol = rng_.percent(60) ? "\r\n" : "\n";
        style_.indent = std::array<std::string_view, 3>{"  ", "    ", "\t"}[rng_.below(3)];
        style_.editor_saved = rng_.percent(40);
        style_.trailing_pct = std::array<unsigned, 3>{0, 10, 30}[rng_.below(3)];
        style_.min_width = 40;
        style_.max_width = style_.editor_saved ? 160 : 110;
    }

    std::string head() {
        out_.clear();
        line("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">", 0);
        line("<html>", 0);
        line("<head>", 0);
        line("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">", 1);
        line("<meta name=\"description\" content=\"" + words(8, 16) + "\">", 1);
        line("<title>" + capitalized(words(2, 5)) + "</title>", 1);
        if (rng_.percent(50)) style_block(1);
        if (rng_.percent(30)) script_block(1);
        line("</head>", 0);
        line("<body bgcolor=\"#ffffff\" text=\"#000000\" link=\"#0000ee\" vlink=\"#551a8b\">", 0);
        line("<h1>" + capitalized(words(2, 6)) + "</h1>", 0);
        line("<p>Last updated <!-- $ZBL$:DATETIME -->Monday 1/2/06 3:04 pm<!-- $ZBL$:CLOSE --></p>",
             0);
        return std::move(out_);
    }

    std::string foot() {
        out_.clear();
        blank_lines();
        line("<hr>", 0);
        line("<address><a href=\"mailto:editor@example.com\">Write to the editor</a></address>", 0);
        line("</body>", 0);
        line("</html>", 0);
        return std::move(out_);
    }

    // One block of body content, with the blank lines before it.
    std::string block() {
        out_.clear();
        blank_lines();
        if (need_paragraph_) {  // a no-wrap region lasts up to the next paragraph tag
            need_paragraph_ = false;
            paragraph(0);
            return std::move(out_);
        }
        unsigned r = rng_.below(100);
        if (r < 45) paragraph(0);
        else if (r < 53) heading();
        else if (r < 62) list_block();
        else if (r < 69) table_block();
        else if (r < 76) no_wrap_block();
        else if (r < 80) script_block(0);
        else if (r < 82) style_block(0);
        else if (r < 88) image_block();
        else if (r < 92) line("<!-- " + words(3, 9) + " -->", rng_.below(2));
        else {
            line("<div class=\"" + std::string(rng_.pick(kDirs)) + "\">", 0);
            paragraph(1);
            line("</div>", 0);
        }
        return std::move(out_);
    }

    // A paragraph of plain words of exactly n bytes, line end included.
    std::string filler(std::uint64_t n) {
        std::string text;
        if (n <= style_.eol.size() + 3) return std::string(n, ' ');
        std::uint64_t body = n - style_.eol.size();
        text = "<p>";
        while (text.size() < body) {
            text += rng_.pick(kWords);
            text += ' ';
        }
        text.resize(body);
        if (text.back() == ' ') text.back() = '.';
        text += style_.eol;
        return text;
    }

private:
    void line(std::string_view text, unsigned depth) {
        for (unsigned d = 0; d < depth; ++d) out_ += style_.indent;
        out_ += text;
        if (rng_.percent(style_.trailing_pct))
            out_.append(rng_.between(1, 3), rng_.percent(25) ? '\t' : ' ');
        out_ += style_.eol;
    }

    // Breaks running text at blanks the way a person or an editor would.
    void flow(std::string_view text, unsigned depth) {
        if (style_.editor_saved && rng_.percent(70)) {
            line(text, depth);
            return;
        }
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t width = rng_.between(style_.min_width, style_.max_width);
            if (text.size() - pos <= width) {
                line(text.substr(pos), depth);
                return;
            }
            std::size_t cut = text.rfind(' ', pos + width);
            if (cut != std::string_view::npos && cut > pos && inside_tag(text, pos, cut) &&
                rng_.percent(90)) {  // people seldom break a line inside a tag
                std::size_t before = text.rfind(' ', text.rfind('<', cut));
                cut = before != std::string_view::npos && before > pos ? before
                                                                       : text.find(' ', text.find('>', cut));
            }
            if (cut == std::string_view::npos || cut <= pos) cut = text.find(' ', pos + width);
            if (cut == std::string_view::npos) {
                line(text.substr(pos), depth);
                return;
            }
            line(text.substr(pos, cut - pos), depth);
            pos = cut + 1;
        }
    }

    static bool inside_tag(std::string_view text, std::size_t from, std::size_t at) {
        std::size_t open = text.rfind('<', at);
        if (open == std::string_view::npos || open < from) return false;
        std::size_t close = text.rfind('>', at);
        return close == std::string_view::npos || close < open;
    }

    void blank_lines() {
        unsigned r = rng_.below(100);
        unsigned n = r < 40 ? 0 : r < 85 ? 1 : rng_.between(2, 3);
        for (unsigned i = 0; i < n; ++i) line("", rng_.percent(20) ? 1 : 0);
    }

    std::string words(unsigned lo, unsigned hi) {
        std::string s;
        unsigned n = rng_.between(lo, hi);
        for (unsigned i = 0; i < n; ++i) {
            if (i) s += ' ';
            s += rng_.pick(kWords);
        }
        return s;
    }

    static std::string capitalized(std::string s) {
        if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
        return s;
    }

    std::string url() {
        std::string u(rng_.pick(kHosts));
        u += rng_.pick(kDirs);
        u += '/';
        u += rng_.percent(20) ? "index" : "page";
        u += std::to_string(rng_.below(1000));
        u += ".htm";
        if (rng_.percent(15)) u += "?id=" + std::to_string(rng_.below(100000)) + "&amp;view=full";
        if (rng_.percent(2))  // now and then a tracking URL longer than any tag capture
            for (int i = 0; i < 12; ++i) u += "&amp;utm_" + std::to_string(i) + "=campaign";
        return u;
    }

    std::string anchor(std::string_view text) {
        return "<a href=\"" + url() + "\">" + std::string(text) + "</a>";
    }

    // A sentence of prose; quotes come in pairs, except for the rare inch mark.
    std::string sentence() {
        std::string s;
        unsigned n = rng_.between(6, 20);
        for (unsigned i = 0; i < n; ++i) {
            if (i) s += rng_.percent(6) ? "&nbsp;" : " ";
            unsigned r = rng_.below(1000);
            if (r < 40) {
                unsigned q = rng_.below(100);
                std::string inner = words(2, 5);
                if (q < 60) s += "\"" + inner + "\"";
                else if (q < 85) s += "&quot;" + inner + "&quot;";
                else s += "&#147;" + inner + "&#148;";
            } else if (r < 55) {
                s += anchor(words(1, 4));
            } else if (r < 100) {
                std::string tag(rng_.pick(kInline));
                s += "<" + tag + ">" + std::string(rng_.pick(kWords)) + "</" + tag + ">";
            } else if (r < 115) {
                s += "&amp;";
            } else if (r < 125) {
                s += rng_.percent(50) ? "caf&eacute;" : "&copy; 2006";
            } else if (r < 126) {
                s += std::to_string(rng_.between(2, 40)) + "\"";  // inches
            } else {
                std::string w(rng_.pick(kWords));
                s += i == 0 ? capitalized(w) : w;
            }
        }
        s += std::array<std::string_view, 4>{".", ".", "?", "!"}[rng_.below(4)];
        return s;
    }

    void paragraph(unsigned depth) {
        std::string text(rng_.pick(kParaTags));
        bool tag_alone = rng_.percent(40);
        if (tag_alone) {
            line(text, depth);
            text.clear();
        }
        unsigned n = rng_.between(2, 9);
        for (unsigned i = 0; i < n; ++i) {
            if (i) text += rng_.percent(10) ? "  " : " ";
            text += sentence();
        }
        if (rng_.percent(70)) text += "</p>";
        flow(text, depth + (tag_alone ? 1 : 0));
    }

    void heading() {
        std::string level = std::to_string(rng_.between(2, 4));
        line("<h" + level + ">" + capitalized(words(2, 7)) + "</h" + level + ">", 0);
    }

    void list_block() {
        bool ordered = rng_.percent(30);
        line(ordered ? "<ol type=\"1\">" : "<ul>", 0);
        unsigned n = rng_.between(3, 8);
        for (unsigned i = 0; i < n; ++i) flow("<li>" + sentence() + "</li>", 1);
        line(ordered ? "</ol>" : "</ul>", 0);
    }

    void table_block() {
        line("<table border=\"0\" cellpadding=\"4\" cellspacing=\"2\" width=\"100%\" "
             "bgcolor=\"#ffffff\" summary=\"" + words(3, 8) + "\">", 0);
        unsigned rows = rng_.between(1, 4);
        for (unsigned r = 0; r < rows; ++r) {
            line("<tr>", 1);
            unsigned cols = rng_.between(1, 3);
            for (unsigned c = 0; c < cols; ++c)
                flow("<td valign=\"top\" align=\"left\" width=\"" + std::to_string(100 / cols) +
                     "%\" bgcolor=\"#eeeeee\"><font face=\"Arial, Helvetica, sans-serif\" size=\"2\">" +
                     sentence() + "</font></td>", 2);
            line("</tr>", 1);
        }
        line("</table>", 0);
    }

    // A menu of links that must not be wrapped; editors leave a blank after
    // some anchor start tags.
    void no_wrap_block() {
        line("<!-- ZBLDONTWRAP -->", 0);
        unsigned n = rng_.between(3, 10);
        for (unsigned i = 0; i < n; ++i)
            line(anchor((rng_.percent(40) ? " " : "") + capitalized(words(1, 3))) +
                 (rng_.percent(50) ? " |" : "<br>"), rng_.below(2));
        need_paragraph_ = true;
    }

    void script_block(unsigned depth) {
        line("<script type=\"text/javascript\" language=\"JavaScript\">", depth);
        line("<!--", depth);
        line("function show" + std::to_string(rng_.below(100)) + "(a, b) {", depth);
        line("if (a < b && b > 0) { return \"x\" + a; }", depth + 1);
        line("var s = 'it' + \"'s\"; // it's a string", depth + 1);
        line("document.write(\"<b>\" + s + \"</b>&nbsp;\");", depth + 1);
        line("}", depth);
        line("//-->", depth);
        line("</script>", depth);
    }

    void style_block(unsigned depth) {
        line("<style type=\"text/css\">", depth);
        line("<!--", depth);
        line("body { font-family: \"Times New Roman\", Times, serif; margin: 0 }", depth + 1);
        line("p.body { text-indent: 2em; line-height: 1.3 }", depth + 1);
        line("a:hover { color: #ff0000 } /* it's red */", depth + 1);
        line("-->", depth);
        line("</style>", depth);
    }

    void image_block() {
        line("<p align=\"center\"><img src=\"images/" + std::string(rng_.pick(kDirs)) + "_" +
             std::to_string(rng_.below(10000)) + ".jpg\" width=\"320\" height=\"240\" border=\"0\" "
             "alt=\"" + words(3, 10) + "\" title=\"" + words(2, 6) + "\"></p>", 0);
    }

    Rng rng_;
    Style style_{};
    std::string out_;
    bool need_paragraph_ = false;
};

// Blocks that do not fit are redrawn a few times before the rest is
// filled with plain words, so small pages still look like pages.
constexpr int kFitAttempts = 4;

// Buffered writing of a generated file, with the error checked at the end.
bool write_file_with(const std::string& path, const std::function<void(const TextWriter&)>& fill) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    fill([&](std::string_view text) {
        if (ok && std::fwrite(text.data(), 1, text.size(), f) != text.size()) ok = false;
    });
    if (std::ferror(f)) ok = false;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

void generate_page(std::uint64_t seed, std::uint64_t size, const TextWriter& write) {
    PageBuilder page(seed);
    std::string head = page.head();
    std::string foot = page.foot();
    write(head);
    std::uint64_t total = head.size();
    for (int misses = 0; misses < kFitAttempts;) {
        std::string block = page.block();
        if (total + block.size() + foot.size() > size) {
            ++misses;
            continue;
        }
        write(block);
        total += block.size();
    }
    if (total + foot.size() < size) write(page.filler(size - total - foot.size()));
    write(foot);
}

std::string make_page(std::uint64_t seed, std::uint64_t size) {
    std::string page;
    page.reserve(size);
    generate_page(seed, size, [&](std::string_view text) { page += text; });
    return page;
}

bool write_page_file(const std::string& path, std::uint64_t seed, std::uint64_t size) {
    return write_file_with(path, [&](const TextWriter& w) { generate_page(seed, size, w); });
}

bool write_repeated_byte_file(const std::string& path, char byte, std::uint64_t size) {
    return write_file_with(path, [&](const TextWriter& w) {
        const std::string chunk(64 * 1024, byte);
        for (std::uint64_t left = size; left > 0;) {
            std::size_t n = left < chunk.size() ? static_cast<std::size_t>(left) : chunk.size();
            w(std::string_view(chunk).substr(0, n));
            left -= n;
        }
    });
}

bool write_long_line_file(const std::string& path, std::uint64_t size) {
    return write_file_with(path, [&](const TextWriter& w) {
        constexpr std::string_view kPattern =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,;:-_/()";
        std::string chunk;
        while (chunk.size() < 64 * 1024) chunk += kPattern;
        for (std::uint64_t left = size; left > 0;) {
            std::size_t n = left < chunk.size() ? static_cast<std::size_t>(left) : chunk.size();
            w(std::string_view(chunk).substr(0, n));
            left -= n;
        }
        w("\r\n");
    });
}

}  // namespace zorbel::bench
