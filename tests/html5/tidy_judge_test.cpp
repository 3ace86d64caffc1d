// Pages tidied through the library must keep the tree an HTML5 parser
// reads from them: real pages that Debian's documentation packages install,
// and generated pages full of the markup that trips tag readers, each under
// several option sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "html5/page_tree.h"
#include "zorbel/zorbel.h"

namespace zorbel::html5 {
namespace {

namespace fs = std::filesystem;

struct OptionSet {
    const char* name;     // for the test's name
    const char* letters;  // as on the command line, for the messages
    PageOptions options;
};

// With keep_verbatim, <pre>, <textarea>, <listing> and <xmp> keep what they
// hold, so a change inside them fails too.
bool keeps_verbatim(const OptionSet& set) { return set.options.keep_verbatim; }

void PrintTo(const OptionSet& set, std::ostream* out) { *out << set.letters; }

std::vector<OptionSet> option_sets() {
    PageOptions w40;
    w40.wrap_margin = 40;
    PageOptions e_i_x;
    e_i_x.collapse_crlf = true;
    e_i_x.strip_indent = false;
    e_i_x.fix_webx = false;
    PageOptions verbatim;
    verbatim.keep_verbatim = true;
    return {{"defaults", "(defaults)", PageOptions{}},
            {"w40", "-w40", w40},
            {"e_i_x", "-e -i- -x-", e_i_x},
            {"verbatim", "(defaults and the library's keep_verbatim)", verbatim}};
}

TidiedPage tidy(const std::string& page, const PageOptions& options) {
    Tidier tidier(options);
    tidier.set_clock([] { return StampTime{4, 11, 10, 2026, 13, 5}; });
    return tidier.tidy(page);
}

// What a run over many pages found. Failing pages are shown in full detail
// up to a few, then by name only, so that a broken build still gives a
// readable report.
struct Tally {
    static constexpr int kDetailed = 3;
    std::size_t pages = 0;
    std::size_t failed = 0;
    std::size_t unprotected = 0;        // unprotected elements whose content changed
    std::size_t unprotected_pages = 0;  // pages holding any of them
    std::string failures;
    std::string notes;  // of the first unprotected elements that changed
    TreeParser parser;

    void judge_page(const std::string& name, const std::string& page, const OptionSet& set,
                    bool show_page) {
        ++pages;
        const TidiedPage tidied = tidy(page, set.options);
        std::string fault;
        if (tidied.error != PageError::kNone) {
            fault = "zorbel reported an error: " + tidied.message + "\n";
        } else {
            const Verdict v = parser.judge(page, tidied.bytes);
            if (!v.same) fault = v.difference;
            if (v.unprotected_differences > 0 && keeps_verbatim(set) && fault.empty())
                fault = std::to_string(v.unprotected_differences) + " verbatim elements changed, the first " +
                        v.unprotected_excerpt;
            if (v.unprotected_differences > 0) {
                unprotected += v.unprotected_differences;
                if (unprotected_pages++ < kDetailed)
                    notes += name + ": " + std::to_string(v.unprotected_differences) +
                                         " changed, the first " + v.unprotected_excerpt;
            }
        }
        if (fault.empty()) return;
        if (failed++ < kDetailed) {
            failures += "page " + name + ", options " + set.letters + ":\n" + fault;
            if (show_page) failures += "  the page:\n" + page + "\n";
        } else {
            failures += "page " + name + ", options " + set.letters + ": differs too\n";
        }
    }

    void report(const std::string& what, const OptionSet& set) const {
        std::cout << "[ html5 ] " << what << ", options " << set.letters << ": " << pages << " pages, " << failed
                  << " failed; " << unprotected << " unprotected elements changed, in " << unprotected_pages
                  << " pages\n";
        std::cout << notes;
        EXPECT_EQ(failed, 0u) << failures;
    }
};

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The real pages: every .htm or .html file under /usr/share/doc (links left
// out, they name pages already met), in path order. Pages over 256 KiB are
// left out and at most 300 are taken, evenly spread over that order: about
// 15 MiB, which one option set judges in a few seconds, and in about fifteen
// under the sanitizers, where zorbel and the comparison run instrumented and
// Gumbo parses each page twice.
constexpr std::uintmax_t kMaxPageBytes = 256 << 10;
constexpr std::size_t kMaxPages = 300;
const char* const kDocRoot = "/usr/share/doc";

std::vector<fs::path> real_pages() {
    std::vector<fs::path> all;
    std::error_code ec;
    fs::recursive_directory_iterator it(kDocRoot, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code e;
        if (entry.is_symlink(e) || !entry.is_regular_file(e)) continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext != ".htm" && ext != ".html") continue;
        if (entry.file_size(e) > kMaxPageBytes || e) continue;
        all.push_back(entry.path());
    }
    std::sort(all.begin(), all.end());
    if (all.size() <= kMaxPages) return all;
    std::vector<fs::path> some;
    for (std::size_t i = 0; i < kMaxPages; ++i) some.push_back(all[i * all.size() / kMaxPages]);
    return some;
}

class EachOptionSet : public ::testing::TestWithParam<OptionSet> {};

TEST_P(EachOptionSet, RealPagesKeepTheirTree) {
    const std::vector<fs::path> pages = real_pages();
    if (pages.empty())
        GTEST_SKIP() << "no HTML pages under " << kDocRoot
                     << ": install a documentation package with HTML pages, such as python3-doc or postfix-doc";
    Tally tally;
    for (const fs::path& path : pages) tally.judge_page(path.string(), read_bytes(path), GetParam(), false);
    tally.report("real pages under " + std::string(kDocRoot), GetParam());
}

// The page of the report: a quoted '>' in a link's href ended the tag, and
// the rest of the page was read as attribute values.
TEST_P(EachOptionSet, SchedulerReadmeKeepsEveryElement) {
    const fs::path path = "/usr/share/doc/postfix/html/SCHEDULER_README.html";
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) GTEST_SKIP() << path << " is not installed (Debian package postfix-doc)";
    const std::string page = read_bytes(path);
    const TidiedPage tidied = tidy(page, GetParam().options);
    ASSERT_EQ(tidied.error, PageError::kNone) << tidied.message;
    const Verdict v = judge(page, tidied.bytes);
    std::cout << "[ html5 ] " << path.filename().string() << ", options " << GetParam().letters << ": "
              << v.elements_before << " elements before, " << v.elements_after << " after\n";
    EXPECT_EQ(v.elements_after, v.elements_before);
    EXPECT_TRUE(v.same) << v.difference;
}

// Doctypes as the real pages write them, on pages that change (the
// apostrophe): blanks between the quotes of the identifiers stay blanks.
TEST_P(EachOptionSet, DoctypeKeepsItsIdentifiers) {
    const std::string pages[] = {
        "<!doctype html public \"-//W3C//DTD HTML 4.01 Transitional//EN\"\n        "
        "\"http://www.w3.org/TR/html4/loose.dtd\">\n<p>it's</p>\n",
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<p>it's</p>\n",
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n<p>it's</p>\n"};
    for (const std::string& page : pages) {
        const Verdict v = judge(page, tidy(page, GetParam().options).bytes);
        EXPECT_TRUE(v.same) << v.difference;
    }
}

// Generated pages. The generator is seeded and deterministic; a failure
// names the page's number and shows the whole page.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool one_in(std::size_t n) { return below(n) == 0; }
    template <std::size_t N>
    const char* pick(const char* const (&from)[N]) { return from[below(N)]; }

private:
    std::uint64_t state_;
};

// Running text: quotes, apostrophes and entities for the quote rewrite,
// long words and many of them for wrapping.
const char* const kWords[] = {
    "the", "garden's", "\"star\"", "it's", "tomato", "Brandywine", "&nbsp;", "&quot;quoted&quot;",
    "&#147;open&#148;", "doors", "open", "at", "nine;", "bring", "your", "own", "bags", "\"and", "a", "friend.\"",
    "3 > 2", "x < y", "don't", "'single'", "heirloom", "unbelievably-long-hyphenated-word-for-wrapping", "&amp;",
    "Saturday", "this", "year's"};

// Tags that trip tag readers: quoted '>' and '<', single quotes, '=' with
// blanks, tabs and line ends around it, unquoted values holding quotes,
// entities in values, markers and placeholders inside values, end tags with
// attributes, and values with blanks for the wrap inside tags.
const char* const kInline[] = {
    "<img alt=\"a > b\" src=\"x.gif\">",
    "<a title=\"Next >>\" href=\"next.htm\">Next</a>",
    "<button onclick=\"if (a > b) go()\">Go</button>",
    "<a href=\"#<tt>nqmgr</tt>_structures\">the <tt>nqmgr</tt> structures</a>",
    "<span title='it is \"so\" > here'>single</span>",
    "<img alt =\t\"x > y\"\n   src = 'a.gif'>",
    "<img alt=\f\"a > b\" src=\f'x>y.gif'>",
    "<a href=\n    \"u.htm\"\n>u</a>",
    "<span class=a\"b c>odd</span>",
    "<span title=it's>apos</span>",
    "<span title=\"AT&T > them\" data-x='a<b'>amp</span>",
    "<span title=\"<!-- ZBLDONTWRAP -->\">marker in a value</span>",
    "<span title=\"<!-- $ZBL$:DATETIME -->x\">stamp marker in a value</span>",
    "<img alt=\"<img src=chrome://editor/content/images/tag-comment.gif>\" src=\"p.gif\">",
    "<span>end tag</span title=\"x > y\">",
    "<P CLASS=\"x > y\">upper</P>",
    "<A HREF='a>b.htm'>upper link</A>",
    "<img alt=\"<b>bold</b>\" src=\"b.gif\">",
    "<span title='say \"hi\" now' lang=\"it's\">mixed</span>",
    "<span title=\"one two three four five six seven eight nine ten eleven twelve\">blanks</span>",
    "<span title='one two three four five six seven eight nine ten eleven twelve'>blanks</span>",
    "<input value=\"a > b\" disabled>",
    "<br/>",
    "<a name=\"x\"  href=\"&quot;q&quot;.htm\">quoted entity</a>",
    "<!-- a > b -->",
    "<!-- <p class=\"x\"> \"quoted\" it's -->",
    "<!--[if IE]><p class=\"ie\">IE \"only\"</p><![endif]-->",
    "<!--[if !IE]>--><span>not IE</span><!--<![endif]-->",
};

// A tag of more than 201 bytes, its quoted '>' before or past that bound.
std::string long_tag(Rng& rng) {
    const char* const names[] = {"span", "a", "p", "img", "div"};
    const std::string name = rng.pick(names);
    std::string filler;
    while (filler.size() < 190 + rng.below(40)) filler += rng.one_in(3) ? "x " : "word";
    std::string tag = "<" + name;
    if (rng.one_in(2)) tag += " title=\"a > b\" data-long=\"" + filler + "\"";
    else tag += " data-long=\"" + filler + "\" title='c > d'";
    tag += " class=\"k\">";
    if (name == "img") return tag;
    return tag + "long " + name + "</" + name + ">";
}

std::string text(Rng& rng, std::size_t words) {
    std::string s;
    for (std::size_t i = 0; i < words; ++i) {
        if (i > 0) s += rng.one_in(12) ? "\n   " : rng.one_in(10) ? "  " : " ";
        if (rng.one_in(6)) s += rng.one_in(5) ? long_tag(rng) : std::string(rng.pick(kInline));
        else s += rng.pick(kWords);
    }
    return s;
}

const char* const kBlocks[] = {
    "<p><!-- ZBLDONTWRAP -->See also:<a href=\"map.htm\"> How to find \"us\"</a> and<a title=\"a > b\" "
    "href=\"y.htm\"> this</a>, or<A HREF='q>r.htm'>  two blanks</A> in a line that is longer than seventy "
    "columns.</p>",
    "<p><small>Updated <!-- $ZBL$:DATETIME -->Monday 3/2/26 9:15 am<!-- $ZBL$:CLOSE --></small></p>",
    "<!-- $ZBL$:UNCURLY --><p>\"kept\" it's as <span title=\"a > b\">written</span></p><!-- $ZBL$:CURLY -->",
    "<pre>\n  if (a > b) {\n    say(\"it's\");   \n\n  }\n</pre>",
    "<script type=\"text/javascript\"><!--\n  if (a > b && c < d) { document.write(\"<p class='x'>hi</p>\"); }\n"
    "  var s = 'it\\'s \"so\"';\n// --></script>",
    "<script>\n  var t = \"<a href='x>y'>\" + '</' + 'a>';\n</script>",
    "<script>\n      for (var i = 0; i < list.length && list[i].size > limit; i++) { if (names[i] != \"it's\") "
    "{ go(i, 'a > b'); } }\n</script>",
    "<style type=\"text/css\">\n  a[title=\"x > y\"] { color: red }\n  p { font-family: \"Times New Roman\" }\n"
    "</style>",
    "<table border=\"1\">\n  <tr><td class=\"a>b\">cell \"one\"</td><td title='t>u'>it's two</td></tr>\n</table>",
    "<ul>\n  <li><a href=\"a.htm\" title=\"A > B\">A</a></li>\n  <li class='c<d'>\"B\"</li>\n</ul>",
    "<textarea name=\"t\">  \"raw\" text > here\n   indented</textarea>",
};

const char* const kBetween[] = {"\n", "\n\n", "  \n    ", "\n\t", "   \n\n  ", "\r\n", " "};

std::string generated_page(std::uint64_t seed) {
    Rng rng(seed);
    const char* const doctypes[] = {
        "", "<!DOCTYPE html>\n",
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" \"http://www.w3.org/TR/html4/loose.dtd\">\n",
        "<!doctype html public \"-//W3C//DTD HTML 4.01 Transitional//EN\"\n        "
        "\"http://www.w3.org/TR/html4/loose.dtd\">\n"};
    std::string page = rng.pick(doctypes);
    page += "<html>\n<head>\n  <title>Page \"" + std::to_string(seed) + "\" it's</title>\n";
    if (rng.one_in(2)) page += std::string("  ") + kBlocks[6] + "\n";
    page += "</head>\n<body>\n";
    const std::size_t blocks = 4 + rng.below(10);
    for (std::size_t i = 0; i < blocks; ++i) {
        page += rng.pick(kBetween);
        if (rng.one_in(3)) page += rng.pick(kBlocks);
        else page += "<p class=\"b" + std::to_string(i) + "\">" + text(rng, 10 + rng.below(50)) + "</p>";
    }
    // A value whose quote never closes runs to the end of the page.
    if (rng.one_in(6)) page += "\n<p>Last <span title=\"never closed > here and \"the\" rest it's";
    page += "\n</body>\n</html>\n";
    return page;
}

// Enough pages to meet every fragment many times over, in every kind of
// neighbourhood, and still a run of a second or two under the sanitizers.
constexpr std::uint64_t kGeneratedPages = 300;

TEST_P(EachOptionSet, GeneratedPagesKeepTheirTree) {
    Tally tally;
    for (std::uint64_t seed = 1; seed <= kGeneratedPages; ++seed)
        tally.judge_page("generated #" + std::to_string(seed), generated_page(seed), GetParam(), true);
    tally.report("generated pages", GetParam());
}

INSTANTIATE_TEST_SUITE_P(Html5, EachOptionSet, ::testing::ValuesIn(option_sets()),
                         [](const ::testing::TestParamInfo<OptionSet>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorbel::html5
