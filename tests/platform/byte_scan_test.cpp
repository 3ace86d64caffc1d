// The word-at-a-time scan must find the same first byte as a plain loop,
// wherever in a word it lies and whatever the bytes after it; and every
// fast form of each byte set the passes scan for must agree with the set's
// one definition on all 256 byte values.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "cleanup/line_pass.h"
#include "platform/byte_scan.h"
#include "platform/byte_set.h"
#include "rewrite/rules.h"

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

// For every pair of byte values (a, b), a word or vector of a with one b in
// it, at every place: the table form must say what the definition says, the
// word form's lowest flag must be the first member, and the SSE2 form must
// flag exactly the members.
template <ByteSet Set>
void expect_forms_agree(const char* name) {
    using Forms = ByteSetForms<Set>;
    for (int a = 0; a < 256; ++a) {
        const auto ca = static_cast<unsigned char>(a);
        ASSERT_EQ(Forms::has(ca), Set.contains(ca)) << name << " byte " << a;
        for (int b = 0; b < 256; ++b) {
            const auto cb = static_cast<unsigned char>(b);
            for (int at = 0; at < 8; ++at) {
                unsigned char bytes[8];
                std::fill(bytes, bytes + 8, ca);
                bytes[at] = cb;
                std::uint64_t x;
                std::memcpy(&x, bytes, 8);
                std::size_t first = 8;
                for (int k = 7; k >= 0; --k) {
                    if (Set.contains(bytes[k])) first = static_cast<std::size_t>(k);
                }
                const std::uint64_t flags = Forms::word(x);
                const std::size_t found = flags ? static_cast<std::size_t>(std::countr_zero(flags)) / 8 : 8;
                ASSERT_EQ(found, first) << name << " a " << a << " b " << b << " at " << at;
                ASSERT_EQ(Forms::find(bytes, 8), first) << name << " a " << a << " b " << b << " at " << at;
            }
#if defined(__SSE2__)
            for (int at = 0; at < 16; ++at) {
                unsigned char bytes[16];
                std::fill(bytes, bytes + 16, ca);
                bytes[at] = cb;
                unsigned expected = 0;
                for (int k = 0; k < 16; ++k) expected |= Set.contains(bytes[k]) ? 1u << k : 0u;
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
                ASSERT_EQ(Forms::mask(v), expected) << name << " a " << a << " b " << b << " at " << at;
            }
#endif
        }
    }
}

TEST(ByteSets, EveryFormAgreesWithTheDefinitionOnAllByteValues) {
    expect_forms_agree<kRunStops>("run stops");
    expect_forms_agree<kTagBodyStops>("tag body stops");
    expect_forms_agree<kTagEndStops>("tag end stops");
    expect_forms_agree<kEntityStops>("entity stops");
    expect_forms_agree<kLineStops>("line stops");
    // Listed bytes that pair up by one bit, and one under the bound.
    expect_forms_agree<byte_set(0x10, {0x05, 0x40, 0x41, 0xc0, 0xfe, 0xff})>("pairs");
    expect_forms_agree<byte_set(0, {0x00, 0x80})>("no bound");
}

}  // namespace
}  // namespace zorbel
