// Settled output: the passes run again over their own output until a round
// changes nothing, through memory or, for long pages, temporary files.
#include <gtest/gtest.h>

#include <string>

#include "zorbel/zorbel.h"

namespace zorbel {
namespace {

PageOptions settling() {
    PageOptions o;
    o.settle = true;
    return o;
}

// What rounds of tidy_page by hand give, and how many ran.
TidiedPage by_hand(std::string page, const PageOptions& options) {
    TidiedPage last;
    for (int round = 1; round <= kMaxSettleRounds; ++round) {
        last = tidy_page(page, options);
        if (!last.changed()) {
            last.rounds = round;
            return last;
        }
        page = last.bytes;
    }
    return last;
}

TEST(Settle, RoundsUntilNothingChanges) {
    struct Case {
        const char* what;
        std::string page, bytes;
        int rounds;
        bool changed;
    };
    const Case cases[] = {
        {"tidy already: one round, the page as it is", "<p>a</p>\n", "<p>a</p>\n", 1, false},
        {"an &nbsp; becomes an indent, which the next round removes", "<p>\n  &nbsp;x\n", "<p>\nx\n", 3, true},
        {"a wrap leaves a blank at a line's start", "<p>" + std::string(68, 'a') + " &nbsp;b\n",
         "<p>" + std::string(68, 'a') + "\r\nb\n", 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TidiedPage got = tidy_page(c.page, settling());
        EXPECT_EQ(got.error, PageError::kNone);
        EXPECT_EQ(got.bytes, c.bytes);
        EXPECT_EQ(got.rounds, c.rounds);
        EXPECT_EQ(got.changed(), c.changed);
        const TidiedPage hand = by_hand(c.page, {});
        EXPECT_EQ(hand.bytes, c.bytes);
        EXPECT_EQ(hand.rounds, c.rounds);
        // Off, as by default, one round only.
        EXPECT_EQ(tidy_page(c.page).rounds, 1);
    }
}

TEST(Settle, StampsSettleBecauseTheClockIsReadOnce) {
    Tidier tidier(settling());
    int reads = 0;
    tidier.set_clock([&] { return StampTime{4, 11, 10, 2026, 9, reads++}; });
    // The first round leaves an indent for the second: three rounds, one stamp.
    const TidiedPage got = tidier.tidy("<p>\n  &nbsp;<!-- $ZBL$:DATETIME -->old<!-- $ZBL$:CLOSE -->\n");
    EXPECT_EQ(got.error, PageError::kNone);
    EXPECT_EQ(got.bytes, "<p>\n<!-- $ZBL$:DATETIME -->Thursday 12/10/26 9:00 am<!-- $ZBL$:CLOSE -->\n");
    EXPECT_EQ(reads, 1);
}

// A sink that takes its bytes in order only, as a pipe would.
class AppendOnly : public ByteSink {
public:
    std::string data;
    bool out_of_order = false;
    bool write_at(std::uint64_t offset, const unsigned char* bytes, std::size_t n) override {
        if (offset != data.size()) out_of_order = true;
        data.replace(offset, n, reinterpret_cast<const char*>(bytes), n);
        return true;
    }
    bool truncate(std::uint64_t length) override {
        if (length != 0 || !data.empty()) out_of_order = true;
        return true;
    }
};

class Source : public ByteSource {
public:
    explicit Source(std::string d) : data(std::move(d)) {}
    std::string data;
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override {
        if (offset >= data.size()) return 0;
        const std::size_t take = std::min(n, data.size() - offset);
        data.copy(reinterpret_cast<char*>(buf), take, offset);
        return static_cast<long>(take);
    }
};

TEST(Settle, ALongPageGoesThroughTemporaryFilesAndIsWrittenInOrder) {
    // About 3 MiB, every paragraph needing three rounds: beyond what the
    // rounds hold in memory.
    std::string page;
    while (page.size() < 3 * 1024 * 1024) page += "<p>\n  &nbsp;x \"q\"  \n\n" + std::string(75, 'w') + " y z\n";
    Source source(page);
    AppendOnly sink;
    Tidier tidier(settling());
    const PageResult got = tidier.tidy(source, sink);
    EXPECT_EQ(got.error, PageError::kNone);
    EXPECT_FALSE(sink.out_of_order);
    const TidiedPage hand = by_hand(page, {});
    EXPECT_EQ(got.rounds, hand.rounds);
    EXPECT_GE(got.rounds, 3);
    EXPECT_TRUE(sink.data == hand.bytes);
}

}  // namespace
}  // namespace zorbel
