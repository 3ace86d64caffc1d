// Runs of the two passes in memory and the invariants the fuzzer checks on
// their output.
#pragma once

#include <cstdint>
#include <string>

#include "cleanup/line_pass.h"
#include "rewrite/rewrite_pass.h"

namespace zorbel::fuzz {

struct Result {
    std::string out;
    bool changed = false, failed = false;
    CarriedState carried;  // the rewrite's, for the next page
};

inline Result lines(const std::string& in, const Options& o, std::size_t block) {
    StringSource source(in);
    StringSink sink;
    LineStreamResult r = strip_lines_stream(source, sink, o.strip_empty_lines != 0, block, o.keep_verbatim != 0);
    return {sink.data, r.stripped, r.status != LineStreamStatus::kOk, {}};
}

// bulk off sends every byte through the tokenizer one at a time.
inline Result rewrite(const std::string& in, const Options& o, std::size_t block, bool bulk = true) {
    const Clock clock = [] { return BrokenDownTime{3, 6, 9, 124, 14, 5}; };
    StringSource source(in);
    StringSink sink;
    const RewriteOutcome r =
        rewrite_stream(source, sink, o, CarriedState{}, clock, RewriteMode{.bulk = bulk, .block_size = block});
    return {sink.data, r.changed, r.quote_error || r.read_failed || r.write_failed || r.stamp_unended, r.carried};
}

inline bool same(const Result& a, const Result& b) {
    return a.out == b.out && a.changed == b.changed && a.failed == b.failed &&
           a.carried.after_newline == b.carried.after_newline &&
           a.carried.crlf_collapse_active == b.carried.crlf_collapse_active;
}

inline bool is_cut_space(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20; }

// Every LF ends a CR LF; no line of two bytes or more ends in white space
// (a line's first byte is never cut); no blank line when they are dropped.
inline bool clean_lines(const std::string& out, bool no_blank_lines) {
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
inline bool only_blanks_to_crlf(const std::string& in, const std::string& out) {
    std::size_t j = 0;
    for (char c : in) {
        if (j < out.size() && out[j] == c) ++j;
        else if ((c == ' ' || c == '\t') && out.compare(j, 2, "\r\n") == 0) j += 2;
        else return false;
    }
    return j == out.size();
}

}  // namespace zorbel::fuzz
