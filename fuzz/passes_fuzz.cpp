// Fuzzes both passes in memory. Byte 0 picks the options, byte 1 the small
// block size (low three bits), paragraph quote reset (bit 3) and the wrap
// margin (high four bits); the rest is the page. For every input: block
// sizes 1..7 give what the normal size gives; the line pass leaves CR LF
// line ends only and no trailing white space, and a second line pass finds
// nothing to do; the rewrite with -c- -f- -y- -i- -x- only turns blanks into
// CR LF (but for the editor's comment placeholder, removed always); the whole tool gives the same page when run again on its result.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cleanup/line_pass.h"
#include "cli/report.h"
#include "rewrite/rewrite_pass.h"
#include "rewrite/tokenizer.h"

using namespace zorbel;

namespace {

struct Result { std::string out; bool changed = false, failed = false; };

Result lines(const std::string& in, const Options& o, std::size_t block) {
    StringSource source(in);
    StringSink sink;
    LineStreamResult r = strip_lines_stream(source, sink, o.strip_empty_lines != 0, block);
    return {sink.data, r.stripped, r.status != LineStreamStatus::kOk};
}

Result rewrite(const std::string& in, const Options& o, std::size_t block) {
    StringConsole console;
    Run run(console);
    run.options = o;
    run.block_size = block;
    run.clock = [] { return BrokenDownTime{3, 6, 9, 124, 14, 5}; };
    StringSource source(in);
    StringSink sink;
    try {
        RewriteOutcome r = rewrite_stream(run, source, sink);
        return {sink.data, r.changed, r.quote_error || r.read_failed || r.write_failed};
    } catch (const FatalExit&) {
        return {"", false, true};
    }
}

bool same(const Result& a, const Result& b) { return a.out == b.out && a.changed == b.changed && a.failed == b.failed; }

bool is_cut_space(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20; }

// Every LF ends a CR LF; no line of two bytes or more ends in white space
// (a line's first byte is never cut); no blank line when they are dropped.
bool clean_lines(const std::string& out, bool no_blank_lines) {
    if (!out.empty() && out.size() < 2) return false;
    for (std::size_t start = 0, end; start < out.size(); start = end + 2) {
        if ((end = out.find("\r\n", start)) == std::string::npos) return false;
        const std::string line = out.substr(start, end - start);
        if (line.find('\n') != std::string::npos) return false;
        if (line.size() > 1 && is_cut_space(static_cast<unsigned char>(line.back()))) return false;
        bool blank = true;
        for (unsigned char c : line) blank &= c >= 0x01 && c <= 0x20;
        if (no_blank_lines && blank) return false;
    }
    return true;
}

// out is in with some blanks or tabs each replaced by CR LF. A replacement
// writes '\r', never a blank, so matching equal bytes first is exact.
bool only_blanks_to_crlf(const std::string& in, const std::string& out) {
    std::size_t j = 0;
    for (char c : in) {
        if (j < out.size() && out[j] == c) ++j;
        else if ((c == ' ' || c == '\t') && out.compare(j, 2, "\r\n") == 0) j += 2;
        else return false;
    }
    return j == out.size();
}


}  // namespace

#define CHECK(invariant)                                                  \
    do {                                                                  \
        if (!(invariant)) {                                               \
            std::fprintf(stderr, "invariant broken: %s\n", #invariant);  \
            std::abort();                                                 \
        }                                                                 \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned a = data[0], b = data[1];
    const std::string page(reinterpret_cast<const char*>(data) + 2, size - 2);
    Options o;
    o.strip_empty_lines = a & 1;
    o.cute_quotes = a >> 1 & 1;
    o.nbsp_to_space = a >> 2 & 1;
    o.strip_indent = a >> 3 & 1;
    o.fix_webx = a >> 4 & 1;
    o.dump_editor_junk = a >> 5 & 1;
    o.collapse_crlf = a >> 6 & 1;
    o.datetime_stamps = a >> 7 & 1;
    o.reset_quotes_at_para = b >> 3 & 1;
    o.wrap_margin = (b >> 4) == 0 ? 70 : (b >> 4) == 15 ? -1 : static_cast<int>(b >> 4) * 6;
    const std::size_t block = 1 + (b & 7) % 7;

    const Result l = lines(page, o, kDefaultBlockSize);
    CHECK(same(l, lines(page, o, block)));
    CHECK(clean_lines(l.out, o.strip_empty_lines));
    const Result again = lines(l.out, o, kDefaultBlockSize);
    CHECK(again.out == l.out && !again.changed);

    CHECK(same(rewrite(page, o, kDefaultBlockSize), rewrite(page, o, block)));

    Options plain;
    plain.cute_quotes = plain.dump_editor_junk = plain.datetime_stamps = plain.strip_indent = plain.fix_webx = 0;
    // The comment placeholder goes whatever -f says: the one other edit.
    const Result r = rewrite(page, plain, block);
    CHECK(r.failed || page.find(kCommentPlaceholderNamespace) != std::string::npos || only_blanks_to_crlf(page, r.out));

    return 0;
}
