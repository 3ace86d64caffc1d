// The settings of one run, filled from the command line before any file is
// touched and read-only afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zorbel {

struct Options {
    std::int32_t wrap_margin = 70;   // -w: break at the first blank beyond this column
    int cute_quotes = 1;             // -c: typographic quote, apostrophe and &nbsp; rewriting
    int nbsp_to_space = 1;           // -n: &nbsp; becomes a blank (needs cute_quotes)
    int reset_quotes_at_para = 1;    // -p: forget an open quote at each paragraph tag
    std::optional<std::string> debug_map_name;  // -d: quote map file on a quote error
    int ask_non_html = 0;            // -h: ask before processing a non-HTML file
    int keep_temps = 0;              // -k: keep the work file of a pass that changed nothing
    int strip_indent = 1;            // -i: drop blanks before the first text of a line
    int strip_trailing = 1;          // -t: run the line pass at all
    int strip_empty_lines = 1;       // -u: the line pass also drops blank lines
    // -x: anchor blank fix in no-wrap regions. The usage text calls the
    // blank an editor leaves behind a link's start tag ("<a href=x> link")
    // the "webx <A> problem"; the fix moves it in front of the tag.
    int fix_webx = 1;
    int dump_editor_junk = 1;        // -f: remove the editor's image placeholder
    int collapse_crlf = 0;           // -e: remove extra line breaks after paragraph tags
    int datetime_stamps = 1;         // -y: fresh stamp after each DATETIME marker
    // No option letter: off in zorbel. Verbatim elements (<pre>, <textarea>,
    // <listing>, <xmp>) keep their content as written, and code elements
    // (<code>, <kbd>, <samp>, <tt>, <var>) their quotes and &nbsp;.
    int keep_verbatim = 0;
};

// The name used for the debug map when -d is given without one.
inline constexpr const char* kDefaultDebugMapName = "bad~q~";

}  // namespace zorbel
