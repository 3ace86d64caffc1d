// Tidies HTML pages in memory, as the zorbel program tidies files: the line
// pass (trailing white space and empty lines out, CR LF line ends), then the
// rewrite pass (wrapping, typographic quotes, &nbsp;, indentation, editor
// placeholders, the anchor blank, date-time stamps).
//
//     zorbel::Tidier tidier;                       // the program's defaults
//     zorbel::TidiedPage page = tidier.tidy(html);
//     if (page.error == zorbel::PageError::kNone && page.changed()) save(page.bytes);
//
// A Tidier carries from one page to the next what the program carries from
// one file to the next in a run, so pages tidied in order come out as they
// would from one command line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "zorbel/byte_stream.h"

namespace zorbel {

// The settings that bear on a page's bytes, with the program's defaults; the
// option letter of each is given.
struct PageOptions {
    std::int32_t wrap_margin = 70;     // -w: break at the first blank beyond this column
    bool cute_quotes = true;           // -c: typographic quotes and apostrophes
    bool nbsp_to_space = true;         // -n: &nbsp; becomes a blank (with cute_quotes)
    bool reset_quotes_at_para = true;  // -p: forget an open quote at each paragraph tag
    bool strip_indent = true;          // -i: drop blanks before the first text of a line
    bool strip_trailing = true;        // -t: run the line pass at all
    bool strip_empty_lines = true;     // -u: the line pass also drops blank lines
    bool fix_webx = true;              // -x: move the blank after a link's start tag in no-wrap regions
    bool dump_editor_junk = true;      // -f: remove the editor's image placeholder tags
    bool collapse_crlf = false;        // -e: remove extra line breaks after paragraph tags
    bool datetime_stamps = true;       // -y: a fresh stamp after each DATETIME marker
    // No zorbel option; off, as in zorbel. On, <pre>, <textarea>, <listing>
    // and <xmp> keep their content as written (only line ends change), and
    // <code>, <kbd>, <samp>, <tt> and <var> their quotes and &nbsp;.
    bool keep_verbatim = false;
    // No zorbel option either: the passes run again over their own output
    // until a round changes nothing (at most kMaxSettleRounds rounds), so a
    // page tidied once is tidy. The clock is read once for all rounds, and a
    // round that gives back its input byte for byte changes nothing (a
    // stamp rewritten with the time it shows already), so that stamps
    // settle too.
    bool settle = false;
};

// The rounds a settled page may take. Known pages settle in two or three
// (a rule's output feeds another rule once or twice); a page still changing
// after this many is reported rather than tidied for ever.
inline constexpr int kMaxSettleRounds = 10;

// Why a page could not be tidied. The program reports each of these and
// leaves the page as the line pass made it.
enum class PageError {
    kNone,
    kUnbalancedQuotes,  // a double quote still open at the end, with reset_quotes_at_para off
    kVeryLengthy,       // a DATETIME marker with no tag after it
    kReadFailed,        // the source reported an error
    kWriteFailed,       // the sink reported an error
    kUnsettled,         // with settle, the page still changed in the last round allowed
};

struct PageResult {
    bool lines_changed = false;    // the line pass removed white space or empty lines
    bool rewrite_changed = false;  // the rewrite pass changed the text
    PageError error = PageError::kNone;
    // The program's message for the error, as it would print it for a file
    // named "page" (without the wait for Enter); empty when there is none.
    std::string message;
    // The rounds of both passes that ran: 1, or with settle up to
    // kMaxSettleRounds (the last one changed nothing, unless kUnsettled).
    int rounds = 1;

    bool changed() const { return lines_changed || rewrite_changed; }
};

struct TidiedPage : PageResult {
    // The page as the program would leave it: the result of both passes, or
    // on an error what the line pass made of it. The page's own bytes when
    // nothing changed.
    std::string bytes;
};

// Local time as a stamp shows it.
struct StampTime {
    int weekday = 0;  // 0 = Sunday .. 6
    int month = 0;    // 0 = January .. 11
    int day = 1;      // 1 .. 31
    int year = 1900;  // four digits
    int hour = 0;     // 0 .. 23
    int minute = 0;   // 0 .. 59
};

class Tidier {
public:
    explicit Tidier(PageOptions options = {});
    ~Tidier();
    Tidier(Tidier&&) noexcept;
    Tidier& operator=(Tidier&&) noexcept;

    // The time written into date-time stamps; the machine's local time
    // unless set.
    void set_clock(std::function<StampTime()> clock);

    TidiedPage tidy(std::string_view page);

    // The same from a source into a sink, which must start empty. The page
    // streams through both passes, the line pass feeding the rewrite, so
    // memory stays a few blocks however long the page is; the source may be
    // read more than once. With settle, each round's output is held in
    // memory up to 1 MiB and in a temporary file beyond that. The sink is
    // left holding what TidiedPage::bytes would hold, and with settle is
    // written once, from its start to its end.
    PageResult tidy(ByteSource& page, ByteSink& out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// One page with a fresh Tidier.
TidiedPage tidy_page(std::string_view page, const PageOptions& options = {});

}  // namespace zorbel
