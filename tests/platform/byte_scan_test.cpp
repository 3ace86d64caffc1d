// The word-at-a-time scan must find the same first byte as a plain loop,
// wherever in a word it lies and whatever the bytes after it.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/byte_scan.h"

namespace zorbel {
namespace {

TEST(ByteScan, FindsTheFirstStopLikeAPlainLoop) {
    auto word = [](std::uint64_t x) { return scan::below(x, 0x20) | scan::equal(x, '<') | scan::equal(x, 0xff); };
    auto byte = [](unsigned char c) { return c < 0x20 || c == '<' || c == 0xff; };
    // Bytes next to the set's edges, where a borrow could mislead.
    const unsigned char alphabet[] = {0x00, 0x01, 0x1f, 0x20, 0x21, '<' - 1, '<', '<' + 1, 0x7f, 0x80, 0xfe, 0xff, 'a'};
    std::mt19937 rng(3);
    for (int round = 0; round < 20000; ++round) {
        std::basic_string<unsigned char> bytes(rng() % 40, 'a');
        for (auto& c : bytes) {
            if (rng() % 4 == 0) c = alphabet[rng() % sizeof alphabet];
        }
        std::size_t expected = 0;
        while (expected < bytes.size() && !byte(bytes[expected])) ++expected;
        ASSERT_EQ(scan::find_first(bytes.data(), bytes.size(), word, byte), expected) << "round " << round;
    }
}

}  // namespace
}  // namespace zorbel
