// The word-at-a-time scan must find the same first byte as a plain loop,
// wherever in a word it lies and whatever the bytes after it; every fast
// form of each byte set the passes scan for must agree with the set's one
// definition on all 256 byte values; and every scan form (words, SSE2,
// AVX2 where the processor has it, and the one the passes use) must find
// the first member wherever it lies in and past its vectors, in buffers of
// every length up to a few steps, reading and writing nothing past them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cleanup/line_pass.h"
#include "platform/byte_scan.h"
#include "platform/byte_set.h"
#include "rewrite/rules.h"

namespace zorbel {
namespace {

// Random strings of fill with bytes of alphabet strewn in (one in
// odds): find_first with word and byte must stop where a plain loop does.
template <class Word, class Byte, std::size_t N>
void expect_finds_like_a_plain_loop(Word word, Byte byte, unsigned char fill, const unsigned char (&alphabet)[N],
                                    unsigned odds, unsigned seed) {
    std::mt19937 rng(seed);
    for (int round = 0; round < 20000; ++round) {
        std::basic_string<unsigned char> bytes(rng() % 40, fill);
        for (auto& c : bytes) {
            if (rng() % odds == 0) c = alphabet[rng() % N];
        }
        std::size_t expected = 0;
        while (expected < bytes.size() && !byte(bytes[expected])) ++expected;
        ASSERT_EQ(scan::find_first(bytes.data(), bytes.size(), word, byte), expected) << "round " << round;
    }
}

TEST(ByteScan, FindsTheFirstStopLikeAPlainLoop) {
    auto word = [](std::uint64_t x) { return scan::below(x, 0x20) | scan::equal(x, '<') | scan::equal(x, 0xff); };
    auto byte = [](unsigned char c) { return c < 0x20 || c == '<' || c == 0xff; };
    // Bytes next to the set's edges, where a borrow could mislead.
    const unsigned char alphabet[] = {0x00, 0x01, 0x1f, 0x20, 0x21, '<' - 1, '<', '<' + 1, 0x7f, 0x80, 0xfe, 0xff, 'a'};
    expect_finds_like_a_plain_loop(word, byte, 'a', alphabet, 4, 3);
}

// The end of a row of one byte: other_than flags exactly the bytes that
// differ, so the lowest flag is the row's end wherever it lies.
TEST(ByteScan, FindsTheEndOfARowOfOneByte) {
    auto word = [](std::uint64_t x) { return scan::other_than(x, '<'); };
    auto byte = [](unsigned char c) { return c != '<'; };
    const unsigned char alphabet[] = {0x00, 0x3b, 0x3d, 0xbc, 0x7f, 0x80, 0xff, '>'};
    expect_finds_like_a_plain_loop(word, byte, '<', alphabet, 8, 5);
    for (int c = 0; c < 256; ++c) {
        const std::uint64_t flags = scan::other_than(scan::kOnes * static_cast<unsigned char>(c), '<');
        ASSERT_EQ(flags, c == '<' ? 0 : scan::kHighs) << "byte " << c;
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
#if defined(ZORBEL_SCAN_SSE2)
            for (int at = 0; at < 16; ++at) {
                unsigned char bytes[16];
                std::fill(bytes, bytes + 16, ca);
                bytes[at] = cb;
                unsigned expected = 0;
                for (int k = 0; k < 16; ++k) expected |= Set.contains(bytes[k]) ? 1u << k : 0u;
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
                ASSERT_EQ(simd::sse2::Forms<Set>::mask(v), expected) << name << " a " << a << " b " << b << " at " << at;
            }
#endif
        }
    }
}

// The sets the passes scan for, and two made to exercise the probes:
// listed bytes that pair up by one bit and one under the bound, and no bound.
#define ZORBEL_FOR_EACH_SET(CHECK)                                                    \
    CHECK<kRunStops>("run stops");                                                    \
    CHECK<kTagBodyStops>("tag body stops");                                           \
    CHECK<kTagEndStops>("tag end stops");                                             \
    CHECK<kTagCaptureStops>("tag capture stops");                                     \
    CHECK<kDquoteValueStops>("double-quoted value stops");                            \
    CHECK<kAposValueStops>("single-quoted value stops");                              \
    CHECK<kEntityStops>("entity stops");                                              \
    CHECK<kLineStops>("line stops");                                                  \
    CHECK<byte_set(0x10, {0x05, 0x40, 0x41, 0xc0, 0xfe, 0xff})>("pairs");             \
    CHECK<byte_set(0, {0x00, 0x80})>("no bound")

// The copies of tag and line text take a different route by length: every
// length from 0 past the longest tag, each byte in place and nothing
// written outside.
TEST(ByteScan, ShortCopiesMoveExactlyTheirBytes) {
    std::vector<unsigned char> from(256);
    for (std::size_t k = 0; k < from.size(); ++k) from[k] = static_cast<unsigned char>(k * 7 + 1);
    for (std::size_t n = 0; n <= 210; ++n) {
        std::vector<unsigned char> to(n + 16, 0xee);
        scan::copy_short(to.data() + 8, from.data() + 3, n);
        for (std::size_t k = 0; k < to.size(); ++k) {
            const unsigned char want = k >= 8 && k < 8 + n ? from[3 + k - 8] : 0xee;
            ASSERT_EQ(to[k], want) << "length " << n << ", byte " << k;
        }
        if (n > 64) continue;
        std::fill(to.begin(), to.end(), 0xee);
        scan::copy_upto_64(to.data() + 8, from.data() + 3, n);
        for (std::size_t k = 0; k < to.size(); ++k) {
            const unsigned char want = k >= 8 && k < 8 + n ? from[3 + k - 8] : 0xee;
            ASSERT_EQ(to[k], want) << "upto 64, length " << n << ", byte " << k;
        }
    }
}

// The prefix XOR that finds what lies between quotes: each form against
// the bit-by-bit definition, on single bits at every place, runs, and
// random words.
TEST(ByteScan, PrefixXorIsTheParityOfTheBitsUpToEachPlace) {
    auto parity_up_to = [](std::uint64_t x) {
        std::uint64_t out = 0;
        bool odd = false;
        for (unsigned k = 0; k < 64; ++k) {
            odd ^= ((x >> k) & 1) != 0;
            if (odd) out |= std::uint64_t{1} << k;
        }
        return out;
    };
    std::vector<std::uint64_t> words = {0, ~std::uint64_t{0}, 0x8000000000000001, 0x5555555555555555};
    for (unsigned k = 0; k < 64; ++k) words.push_back(std::uint64_t{1} << k);
    std::mt19937_64 rng(11);
    for (int i = 0; i < 2000; ++i) words.push_back(rng() & rng());
    for (const std::uint64_t x : words) {
        const std::uint64_t want = parity_up_to(x);
        ASSERT_EQ(simd::portable::prefix_xor(x), want) << std::hex << x;
        ASSERT_EQ(prefix_xor(x), want) << std::hex << x;
#if defined(ZORBEL_SCAN_AVX2)
        if (simd::pclmul::usable()) {
            ASSERT_EQ(simd::pclmul::prefix_xor(x), want) << std::hex << x;
        }
#endif
    }
}

TEST(ByteSets, EveryFormAgreesWithTheDefinitionOnAllByteValues) { ZORBEL_FOR_EACH_SET(expect_forms_agree); }

#if defined(ZORBEL_SCAN_AVX2)
// As above for the AVX2 mask: a vector of a with one b in it, at every place.
template <ByteSet Set>
void expect_avx2_mask_agrees(const char* name) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            for (int at = 0; at < 32; ++at) {
                unsigned char bytes[32];
                std::fill(bytes, bytes + 32, static_cast<unsigned char>(a));
                bytes[at] = static_cast<unsigned char>(b);
                std::uint32_t expected = 0;
                for (int k = 0; k < 32; ++k) expected |= Set.contains(bytes[k]) ? std::uint32_t{1} << k : 0u;
                ASSERT_EQ(simd::avx2::Forms<Set>::mask32(bytes), expected) << name << " a " << a << " b " << b << " at " << at;
            }
        }
    }
}
#endif

TEST(ByteSets, Avx2MaskAgreesWithTheDefinitionOnAllByteValues) {
#if defined(ZORBEL_SCAN_AVX2)
    if (!simd::avx2::usable()) GTEST_SKIP() << "this processor has no AVX2";
    ZORBEL_FOR_EACH_SET(expect_avx2_mask_agrees);
#else
    GTEST_SKIP() << "built without the AVX2 form";
#endif
}

// One scan form: looks at p[i..n) and returns the first member's index, or
// n; a form that copies also copies what it looks at to `to`.
struct ScanForm {
    const char* name;
    std::size_t (*scan)(unsigned char* to, const unsigned char* p, std::size_t i, std::size_t n);
    bool copies;
};

template <ByteSet Set>
std::vector<ScanForm> scan_forms() {
    using Forms = ByteSetForms<Set>;
    std::vector<ScanForm> forms = {
        {"words", &simd::portable::Forms<Set>::template scan_words<false>, false},
        {"words, copying", &simd::portable::Forms<Set>::template scan_words<true>, true},
        {"chosen", [](unsigned char*, const unsigned char* p, std::size_t i, std::size_t n) {
             return i + Forms::find(p + i, n - i);
         }, false},
        {"chosen, copying", [](unsigned char* to, const unsigned char* p, std::size_t i, std::size_t n) {
             return i + Forms::copy_until(to + i, p + i, n - i);
         }, true},
    };
#if defined(ZORBEL_SCAN_SSE2)
    forms.push_back({"sse2", &simd::sse2::Forms<Set>::template scan_sse2<false>, false});
    forms.push_back({"sse2, copying", &simd::sse2::Forms<Set>::template scan_sse2<true>, true});
#endif
#if defined(ZORBEL_SCAN_AVX2)
    if (simd::avx2::usable()) {
        forms.push_back({"avx2", &simd::avx2::Forms<Set>::template scan_avx2<false>, false});
        forms.push_back({"avx2, copying", &simd::avx2::Forms<Set>::template scan_avx2<true>, true});
    }
#endif
    return forms;
}

// Buffers of every length up to two 64-byte steps past the first look, the scan started at
// the front, a byte in, and at a vector's width in (as the chosen form
// goes on after its first look), with the first member at every place from
// there or none: non-members before it, anything after it, and anything
// before the start, where members must be passed over. Each buffer is
// allocated at its exact length, so that a sanitizer build catches a load
// past its end; a copy must match what was looked at and leave everything
// past n alone.
template <ByteSet Set>
void expect_scans_find_the_first(const char* name) {
    std::vector<unsigned char> members, others;
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        (Set.contains(b) ? members : others).push_back(b);
    }
    ASSERT_FALSE(members.empty() || others.empty()) << name;
    const std::vector<ScanForm> forms = scan_forms<Set>();
    constexpr unsigned char kUntouched = 0xa5;
    constexpr std::size_t kPast = 64;  // room after `to`, watched for stray writes
    std::mt19937 rng(5);
    for (std::size_t n = 0; n <= 160; ++n) {
        for (const std::size_t start : {0, 1, 16, 32}) {
            for (std::size_t first = start; first <= n; ++first) {
                std::vector<unsigned char> bytes(n);
                for (std::size_t k = 0; k < n; ++k) {
                    bytes[k] = k >= start && k < first ? others[rng() % others.size()]
                               : k == first        ? members[rng() % members.size()]
                                                   : static_cast<unsigned char>(rng());
                }
                for (const ScanForm& form : forms) {
                    std::vector<unsigned char> to(n + kPast, kUntouched);
                    const std::size_t found = form.scan(to.data(), bytes.data(), start, n);
                    const auto where = [&] {
                        return std::string(name) + ", " + form.name + ": n " + std::to_string(n) + " start " +
                               std::to_string(start) + " first " + std::to_string(first);
                    };
                    ASSERT_EQ(found, first) << where();
                    if (!form.copies) continue;
                    ASSERT_TRUE(std::equal(bytes.begin() + start, bytes.begin() + first, to.begin() + start))
                        << where();
                    ASSERT_TRUE(std::all_of(to.begin() + n, to.end(), [](unsigned char c) { return c == kUntouched; }))
                        << where();
                    for (std::size_t k = 0; k < start; ++k) {
                        // Bytes before the start may be written again, only with their own values.
                        ASSERT_TRUE(to[k] == kUntouched || to[k] == bytes[k]) << where() << " at " << k;
                    }
                }
            }
        }
    }
}

TEST(ByteSets, EveryScanFindsTheFirstMemberAtEveryPlaceAndLength) { ZORBEL_FOR_EACH_SET(expect_scans_find_the_first); }

// The block forms: one call gives the masks of several sets over 64 bytes.
// Every byte value at every place in a block (the 256 values in a row,
// shifted through each of 64 places), and every pair of values side by
// side, must give exactly the bits the definitions give, in every form.
using BlockForm = void (*)(const unsigned char*, std::uint64_t*);

template <ByteSet... Sets>
std::vector<std::pair<const char*, BlockForm>> block_forms() {
    std::vector<std::pair<const char*, BlockForm>> forms = {{"portable", &simd::portable::block_masks<Sets...>}};
#if defined(ZORBEL_SCAN_SSE2)
    forms.push_back({"sse2", &simd::sse2::block_masks<Sets...>});
#endif
#if defined(ZORBEL_SCAN_AVX2)
    if (simd::avx2::usable()) forms.push_back({"avx2", &simd::avx2::block_masks<Sets...>});
#endif
    return forms;
}

template <ByteSet... Sets>
void expect_block_masks_agree(const char* name) {
    constexpr ByteSet kSets[] = {Sets...};
    auto check = [&](const char* form_name, BlockForm form, const unsigned char* block, const std::string& where) {
        std::uint64_t masks[sizeof...(Sets)];
        form(block, masks);
        for (std::size_t s = 0; s < sizeof...(Sets); ++s) {
            std::uint64_t expected = 0;
            for (std::size_t k = 0; k < kBlockBytes; ++k) {
                if (kSets[s].contains(block[k])) expected |= std::uint64_t{1} << k;
            }
            ASSERT_EQ(masks[s], expected) << name << ", " << form_name << ", set " << s << ", " << where;
        }
    };
    for (const auto& [form_name, form] : block_forms<Sets...>()) {
        unsigned char row[256 + kBlockBytes];
        for (std::size_t k = 0; k < sizeof row; ++k) row[k] = static_cast<unsigned char>(k);
        for (std::size_t shift = 0; shift < kBlockBytes; ++shift) {
            for (std::size_t at = 0; at < 256; at += kBlockBytes) {
                check(form_name, form, row + at + shift, "values from " + std::to_string(at + shift));
            }
        }
        for (int a = 0; a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                unsigned char block[kBlockBytes];
                for (std::size_t k = 0; k < kBlockBytes; ++k) block[k] = static_cast<unsigned char>(k % 2 ? b : a);
                check(form_name, form, block, "pair " + std::to_string(a) + " " + std::to_string(b));
            }
        }
    }
}

// The last bytes of a buffer: a part block gives the bits of its bytes
// and none past them, whatever byte values lie there.
TEST(ByteSets, PartBlockMasksStopAtTheirLength) {
    constexpr ByteSet kSets[] = {kRunStops, byte_set(0x80), byte_set(0, {0x81, 0xff})};
    using Block = ByteSetBlock<kSets[0], kSets[1], kSets[2]>;
    unsigned char row[256];
    for (int k = 0; k < 256; ++k) row[k] = static_cast<unsigned char>(k);
    for (std::size_t at = 0; at + kBlockBytes <= 256; at += 16) {
        for (std::size_t n = 0; n <= kBlockBytes; ++n) {
            std::uint64_t masks[3];
            Block::into_part(row + at, n, masks);
            for (std::size_t s = 0; s < 3; ++s) {
                std::uint64_t expected = 0;
                for (std::size_t k = 0; k < n; ++k) {
                    if (kSets[s].contains(row[at + k])) expected |= std::uint64_t{1} << k;
                }
                ASSERT_EQ(masks[s], expected) << "set " << s << ", from " << at << ", length " << n;
            }
        }
    }
}

TEST(ByteSets, BlockMasksAgreeWithTheDefinitionsOnAllByteValues) {
    expect_block_masks_agree<kLineStops, kRunStops, kTagBodyStops, kTagCaptureStops>("pass sets");
    expect_block_masks_agree<kEntityStops, kDquoteValueStops, kAposValueStops, kTagEndStops, byte_set(0x20)>(
        "more pass sets");
    expect_block_masks_agree<byte_set(0x10, {0x05, 0x40, 0x41, 0xc0, 0xfe, 0xff}), byte_set(0, {0x00, 0x80}),
                             byte_set(0x80)>("made sets");
}

}  // namespace
}  // namespace zorbel
