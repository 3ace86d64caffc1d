#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "cleanup/line_pass.h"
#include "core/settings.h"

namespace zorbel {
namespace {

using namespace std::string_literals;

struct LineCase {
    const char* what;
    std::string input;
    bool strip_empty;
    std::string output;
    bool stripped;
};

const std::string kLongLine(100000, 'x');
const std::string kLongIndent(50000, ' ');

const LineCase kLineCases[] = {
    {"empty file", "", true, "", false},
    {"trailing space and tab", "abc \t\n", true, "abc\r\n", true},
    {"clean LF lines get CR LF but are no change", "abc\ndef\n", true, "abc\r\ndef\r\n", false},
    {"clean CR LF lines", "abc\r\ndef\r\n", true, "abc\r\ndef\r\n", false},
    {"last line without line end", "abc", true, "abc\r\n", false},
    {"last line without line end, trailing blanks", "abc  ", true, "abc\r\n", true},
    {"blank lines dropped", "a\n   \n\t \nb\n", true, "a\r\nb\r\n", true},
    {"blank lines cut to their first byte", "a\n   \n\t \nb\n", false, "a\r\n \r\n\t\r\nb\r\n", true},
    {"empty line dropped", "a\n\nb\n", true, "a\r\nb\r\n", true},
    {"empty line kept", "a\n\r\nb\n", false, "a\r\n\r\nb\r\n", false},
    {"first byte of a line never cut", "\t\n", false, "\t\r\n", false},
    {"leading blanks kept", "  a  \n", true, "  a\r\n", true},
    {"bytes 0x80 and above are text", "\x80\xff \n\xa0\n", true, "\x80\xff\r\n\xa0\r\n", true},
    {"a line of 0xA0 alone is not blank", "\xa0\n", true, "\xa0\r\n", false},
    {"form feed and vertical tab at the end", "a\f\v\n", true, "a\r\n", true},
    {"lone CR inside a line is data", "a\rb\n", true, "a\rb\r\n", false},
    {"lone CR at the end of a line is cut", "a\r\r\n", true, "a\r\n", true},
    {"lone CR at the end of the file is cut", "a\r", true, "a\r\n", true},
    {"a line of one CR is blank", "x\n\r\r\n", true, "x\r\n", true},
    {"a line of one CR keeps its first byte", "\r\r\n", false, "\r\r\n", false},
    {"NUL makes a line non-blank", "\0\n"s, true, "\0\r\n"s, false},
    {"NUL is not cut", "a\0\n"s, true, "a\0\r\n"s, false},
    {"blanks after NUL are cut", " \0 \n"s, true, " \0\r\n"s, true},
    {"Ctrl-Z is an ordinary byte", "a\x1a\nb\n", true, "a\x1a\r\nb\r\n", false},
    {"control bytes alone are blank", " \x01\x1a \n", true, "", true},
    {"control bytes are not cut", " \x01 \n", false, " \x01\r\n", true},
    {"held blank prefix is written once text follows", " \x01 x \n", true, " \x01 x\r\n", true},
    {"a long line is one line", kLongLine + "  \n", true, kLongLine + "\r\n", true},
    {"a long indent before text", kLongIndent + "x\n", true, kLongIndent + "x\r\n", false},
    {"a long blank line", kLongIndent + "\n" + "x", true, "x\r\n", true},
};

TEST(LineStream, TableHoldsAtEveryBlockSize) {
    for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{64},
                              kDefaultBlockSize}) {
        for (const auto& c : kLineCases) {
            StringSource source(c.input);
            StringSink sink;
            LineStreamResult result = strip_lines_stream(source, sink, c.strip_empty, block);
            EXPECT_EQ(result.status, LineStreamStatus::kOk) << c.what << ", block " << block;
            EXPECT_EQ(sink.data, c.output) << c.what << ", block " << block;
            EXPECT_EQ(result.stripped, c.stripped) << c.what << ", block " << block;
            EXPECT_EQ(result.out_length, c.output.size()) << c.what << ", block " << block;
        }
    }
}

// A source that fails from a given offset on, or when asked a second time
// for bytes it already gave (the read-back of held blanks).
class FaultySource : public ByteSource {
public:
    FaultySource(std::string data, std::uint64_t fail_at, bool fail_reread)
        : data_(std::move(data)), fail_at_(fail_at), fail_reread_(fail_reread) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override {
        if (offset >= fail_at_ || (fail_reread_ && offset < high_)) return -1;
        if (offset >= data_.size()) return 0;
        std::size_t take = std::min<std::size_t>(n, data_.size() - offset);
        std::memcpy(buf, data_.data() + offset, take);
        high_ = std::max<std::uint64_t>(high_, offset + take);
        return static_cast<long>(take);
    }

private:
    std::string data_;
    std::uint64_t fail_at_;
    bool fail_reread_;
    std::uint64_t high_ = 0;
};

class FullSink : public ByteSink {
public:
    explicit FullSink(std::uint64_t room) : room_(room) {}
    bool write_at(std::uint64_t offset, const unsigned char*, std::size_t n) override { return offset + n <= room_; }
    bool truncate(std::uint64_t) override { return true; }

private:
    std::uint64_t room_;
};

TEST(LineStream, FailuresAreReportedNotSwallowed) {
    const std::string text = "line one  \n" + std::string(300, ' ') + "text\n";
    {
        FaultySource source(text, 20, false);
        StringSink sink;
        EXPECT_EQ(strip_lines_stream(source, sink, true, 8).status, LineStreamStatus::kReadFailed);
    }
    {
        FaultySource source(text, UINT64_MAX, true);  // the held blanks cannot be read back
        StringSink sink;
        EXPECT_EQ(strip_lines_stream(source, sink, true, 8).status, LineStreamStatus::kReadFailed);
    }
    {
        StringSource source(text);
        FullSink sink(16);
        EXPECT_EQ(strip_lines_stream(source, sink, true, 8).status, LineStreamStatus::kWriteFailed);
    }
}

// Generated input: count bytes of fill, then the tail.
class GeneratedSource : public ByteSource {
public:
    GeneratedSource(std::uint64_t count, char fill, std::string tail) : count_(count), fill_(fill), tail_(tail) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override {
        std::size_t i = 0;
        for (; i < n && offset + i < count_ + tail_.size(); ++i) {
            std::uint64_t at = offset + i;
            buf[i] = static_cast<unsigned char>(at < count_ ? fill_ : tail_[at - count_]);
        }
        return static_cast<long>(i);
    }

private:
    std::uint64_t count_;
    char fill_;
    std::string tail_;
};

// Checks the output without keeping it.
class CheckingSink : public ByteSink {
public:
    std::uint64_t length = 0;
    std::string last;
    bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) override {
        if (offset != length) return false;
        length += n;
        last.append(reinterpret_cast<const char*>(data), n);
        if (last.size() > 16) last.erase(0, last.size() - 16);
        return true;
    }
    bool truncate(std::uint64_t) override { return true; }
};

#ifdef _WIN32
long peak_resident_kib() {
    PROCESS_MEMORY_COUNTERS counters{};
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}
#else
long peak_resident_kib() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
#endif

TEST(LineStream, MemoryStaysFlatOnAHugeLine) {
    constexpr std::uint64_t kHuge = 64ull << 20;  // far above the few blocks the pass may hold
    long before = peak_resident_kib();
    for (char fill : {' ', 'x'}) {
        GeneratedSource source(kHuge, fill, "y \n");
        CheckingSink sink;
        LineStreamResult result = strip_lines_stream(source, sink, true, kDefaultBlockSize);
        EXPECT_EQ(result.status, LineStreamStatus::kOk);
        EXPECT_TRUE(result.stripped);
        EXPECT_EQ(sink.length, kHuge + 3);
        EXPECT_EQ(sink.last.substr(sink.last.size() - 4), std::string(1, fill) + "y\r\n");
    }
    EXPECT_LT(peak_resident_kib() - before, 16 * 1024) << "the pass kept the line in memory";
}

}  // namespace
}  // namespace zorbel

namespace zorbel {
namespace {

// The line pass written the plain way, a whole text at once.
LineStreamResult strip_in_memory(const std::string& text, bool strip_empty, std::string& out) {
    auto cut_space = [](unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20; };
    auto blank = [](unsigned char c) { return c >= 0x01 && c <= 0x20; };
    LineStreamResult result;
    out.clear();
    for (std::size_t start = 0; start < text.size();) {
        std::size_t lf = text.find('\n', start);
        std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        start = lf == std::string::npos ? text.size() : lf + 1;
        if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
        if (strip_empty && std::all_of(line.begin(), line.end(), [&](char c) { return blank(c); })) {
            result.stripped = true;
            continue;
        }
        std::size_t keep = line.size();
        while (keep > 1 && cut_space(static_cast<unsigned char>(line[keep - 1]))) --keep;
        if (keep < line.size()) result.stripped = true;
        out += line.substr(0, keep) + "\r\n";
    }
    result.out_length = out.size();
    return result;
}

TEST(LineStream, SameAsThePlainWayOnRandomText) {
    const std::string pieces[] = {"word", "x", " ", "   ", "\t", "\v", "\f", "\r", "\n", "\r\n", "\x01",
                                  std::string(1, '\0'), "\xa0", std::string(70, ' '), std::string(90, 'w')};
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int n = static_cast<int>(rng() % 40); n > 0; --n) text += pieces[rng() % std::size(pieces)];
        const bool strip_empty = rng() % 2;
        const std::size_t blocks[] = {1, 2, 3, 7, 64, kDefaultBlockSize};
        const std::size_t block = blocks[rng() % std::size(blocks)];
        std::string expected;
        LineStreamResult want = strip_in_memory(text, strip_empty, expected);
        StringSource source(text);
        StringSink sink;
        LineStreamResult got = strip_lines_stream(source, sink, strip_empty, block);
        ASSERT_EQ(sink.data, expected) << "round " << round << ", block " << block;
        ASSERT_EQ(got.stripped, want.stripped) << "round " << round << ", block " << block;
        ASSERT_EQ(got.out_length, want.out_length);

        // The same bytes read as a source, in reads of random sizes that
        // sometimes move back within the history, as the rewrite does.
        StringSource page(text);
        StrippedLines lines(page, strip_empty, block, 16);
        std::string read;
        for (std::uint64_t at = 0, furthest = 0;;) {
            furthest = std::max(furthest, at);
            if (rng() % 4 == 0) at = furthest - std::min<std::uint64_t>(furthest, rng() % 17);
            unsigned char buf[40];
            const long n = lines.read_at(at, buf, 1 + rng() % sizeof buf);
            ASSERT_GE(n, 0) << "round " << round << " at " << at;
            if (n == 0) break;
            read.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(n), reinterpret_cast<char*>(buf),
                         static_cast<std::size_t>(n));
            at += static_cast<std::uint64_t>(n);
        }
        ASSERT_EQ(read, expected) << "round " << round << ", block " << block;
        const LineStreamResult finished = lines.finish();
        ASSERT_EQ(finished.stripped, want.stripped);
        ASSERT_EQ(finished.out_length, want.out_length);
        ASSERT_EQ(lines.page_length(), text.size());
        ASSERT_FALSE(lines.out_of_reach());
    }
}

// The line core reads whole lines from 64-byte masks where it can. Every
// table case and random pages of lines made to end near block edges
// (indentation, trailing blanks, CR LF and bare LF, lone CRs, blank lines,
// NUL and other control bytes) must give what the plain way gives,
// wherever the lines fall in the blocks.
TEST(LineStream, MaskedBlocksAgreeWithThePlainWayWhereverLinesFall) {
    auto expect_plain = [](const std::string& text, bool strip_empty, std::size_t block, const std::string& what) {
        std::string expected;
        const LineStreamResult want = strip_in_memory(text, strip_empty, expected);
        StringSource source(text);
        StringSink sink;
        const LineStreamResult got = strip_lines_stream(source, sink, strip_empty, block);
        ASSERT_EQ(sink.data, expected) << what << ", block " << block;
        ASSERT_EQ(got.stripped, want.stripped) << what << ", block " << block;
        ASSERT_EQ(got.out_length, want.out_length) << what << ", block " << block;
    };
    const std::string filler = "a line of text that ends a block or two later\r\n";
    for (const LineCase& c : kLineCases) {
        if (c.input.size() > 200) continue;
        for (std::size_t shift = 0; shift < 64; ++shift) {
            const std::string text = std::string(shift, 'p') + "\n" + c.input + "\n" + filler + filler;
            expect_plain(text, c.strip_empty, kDefaultBlockSize, std::string(c.what) + ", shift " + std::to_string(shift));
        }
    }
    const std::string pieces[] = {"word", "<p>", " ", "  ", "\t", "\v", "\f", "\r", "\n", "\r\n", "\r\n",
                                  "\n    ", "  \r\n", "\x01", std::string(1, '\0'), "\xa0", std::string(61, 'w'),
                                  std::string(63, ' ')};
    std::mt19937 rng(11);
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        for (int n = 20 + static_cast<int>(rng() % 200); n > 0; --n) text += pieces[rng() % std::size(pieces)];
        const std::size_t blocks[] = {64, 65, 100, 128, 4096};
        expect_plain(text, rng() % 2, blocks[rng() % std::size(blocks)], "round " + std::to_string(round));
    }
}

// With verbatim elements kept, where a block ends (inside a tag, a comment,
// a quoted value) changes nothing, and the line pass read as a source gives
// what the stream gives.
TEST(LineStream, KeptVerbatimElementsWhereverBlocksEnd) {
    const std::string pieces[] = {"word", " ", "   ", "\t", "\r", "\n", "\r\n", "\n\n", "<pre>", "</pre>",
                                  "<PRE a=\">\">", "<!--", "-->", "<textarea>", "</textarea>", "<b t='</pre>'>",
                                  "<script>", "</script>", "<", ">"};
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int n = static_cast<int>(rng() % 40); n > 0; --n) text += pieces[rng() % std::size(pieces)];
        const bool strip_empty = rng() % 2;
        StringSource whole_source(text);
        StringSink whole;
        const LineStreamResult want = strip_lines_stream(whole_source, whole, strip_empty, kDefaultBlockSize, true);
        for (std::size_t block : {1, 2, 3, 7, 64}) {
            StringSource source(text);
            StringSink sink;
            const LineStreamResult got = strip_lines_stream(source, sink, strip_empty, block, true);
            ASSERT_EQ(sink.data, whole.data) << "round " << round << ", block " << block;
            ASSERT_EQ(got.stripped, want.stripped);
        }
        StringSource page(text);
        StrippedLines lines(page, strip_empty, 3, kStrippedHistory, true);
        std::string read;
        unsigned char buf[7];
        for (long n; (n = lines.read_at(read.size(), buf, sizeof buf)) > 0;) read.append(reinterpret_cast<char*>(buf), n);
        ASSERT_EQ(read, whole.data) << "round " << round;
    }
}

// A read further back than the history kept fails and says so, rather than
// give other bytes; the line core still runs to the page's end.
TEST(LineStream, StrippedLinesRefuseAReadPastTheirHistory) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "  \n";
    StringSource page(text);
    StrippedLines lines(page, true, 64, 100);
    unsigned char buf[50];
    std::uint64_t at = 0;
    while (at < 5000) at += static_cast<std::uint64_t>(lines.read_at(at, buf, sizeof buf));
    EXPECT_EQ(lines.read_at(4900, buf, 10), 10);
    EXPECT_FALSE(lines.out_of_reach());
    EXPECT_EQ(lines.read_at(10, buf, 10), -1);
    EXPECT_TRUE(lines.out_of_reach());
    const LineStreamResult result = lines.finish();
    EXPECT_TRUE(result.stripped);
    EXPECT_EQ(lines.page_length(), text.size());
}

}  // namespace
}  // namespace zorbel
