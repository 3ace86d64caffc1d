// Sets of byte values, each written once as "every byte below a bound, and
// these few bytes", with every fast form of its membership test derived
// from that one definition: a 256-entry table for one byte at a time, flags
// in a 64-bit word for eight bytes at a time, and a mask of sixteen bytes
// where SSE2 is there. A test runs every form over all 256 byte values.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/byte_scan.h"

namespace zorbel {

struct ByteSet {
    unsigned char below = 0;              // every byte value under this (at most 0x80)
    std::array<unsigned char, 6> bytes{};  // and these; unused slots repeat the first
    std::size_t count = 0;

    constexpr bool contains(unsigned char c) const {
        if (c < below) return true;
        for (std::size_t k = 0; k < count; ++k) {
            if (bytes[k] == c) return true;
        }
        return false;
    }
};

// The set of every byte below `below`.
constexpr ByteSet byte_set(unsigned char below) {
    ByteSet set;
    set.below = below;
    return set;
}

// The set of every byte below `below` and the listed bytes.
template <std::size_t N>
constexpr ByteSet byte_set(unsigned char below, const unsigned char (&listed)[N]) {
    static_assert(N <= 6);
    ByteSet set;
    set.below = below;
    set.count = N;
    for (std::size_t k = 0; k < N; ++k) set.bytes[k] = listed[k];
    return set;
}

namespace byte_set_detail {

// One comparison of the fast forms: a byte, with bits set first, equal to
// value. Two listed bytes that differ in one bit make one probe: setting
// that bit in every byte makes both of them value and nothing else.
struct Probe {
    unsigned char value = 0;
    unsigned char bits = 0;
};

struct Probes {
    std::array<Probe, 6> probe{};
    std::size_t count = 0;
};

constexpr bool one_bit(unsigned x) { return x != 0 && (x & (x - 1)) == 0; }

constexpr Probes make_probes(const ByteSet& set) {
    Probes out;
    std::array<bool, 6> used{};
    for (std::size_t a = 0; a < set.count; ++a) {
        if (used[a] || set.bytes[a] < set.below) continue;  // already under the bound
        used[a] = true;
        Probe p{set.bytes[a], 0};
        for (std::size_t b = a + 1; b < set.count; ++b) {
            const unsigned diff = set.bytes[a] ^ set.bytes[b];
            if (!used[b] && one_bit(diff)) {
                used[b] = true;
                p = Probe{static_cast<unsigned char>(set.bytes[a] | diff), static_cast<unsigned char>(diff)};
                break;
            }
        }
        out.probe[out.count++] = p;
    }
    return out;
}

}  // namespace byte_set_detail

// The fast forms of one set.
template <ByteSet Set>
struct ByteSetForms {
    static_assert(Set.below <= 0x80);

    static constexpr std::array<bool, 256> kTable = [] {
        std::array<bool, 256> table{};
        for (int c = 0; c < 256; ++c) table[c] = Set.contains(static_cast<unsigned char>(c));
        return table;
    }();
    static constexpr byte_set_detail::Probes kProbes = byte_set_detail::make_probes(Set);

    static constexpr bool has(unsigned char c) { return kTable[c]; }

    // Flags the members among the eight bytes of x, in the sense of
    // scan::below: only the lowest flag is exact.
    static constexpr std::uint64_t word(std::uint64_t x) {
        return [x]<std::size_t... K>(std::index_sequence<K...>) {
            std::uint64_t flags = Set.below > 0 ? scan::below(x, Set.below) : 0;
            ((flags |= scan::equal(x | (scan::kOnes * kProbes.probe[K].bits), kProbes.probe[K].value)), ...);
            return flags;
        }(std::make_index_sequence<kProbes.count>{});
    }

#if defined(__SSE2__)
    // Bit k set when byte k of x is a member. Every bit is exact.
    static unsigned mask(__m128i x) {
        return [x]<std::size_t... K>(std::index_sequence<K...>) {
            __m128i hits = _mm_setzero_si128();
            if constexpr (Set.below > 0) {
                // Unsigned x < below exactly when min(x, below - 1) == x.
                hits = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(static_cast<char>(Set.below - 1))), x);
            }
            ((hits = _mm_or_si128(
                  hits, _mm_cmpeq_epi8(_mm_or_si128(x, _mm_set1_epi8(static_cast<char>(kProbes.probe[K].bits))),
                                       _mm_set1_epi8(static_cast<char>(kProbes.probe[K].value))))),
             ...);
            return static_cast<unsigned>(_mm_movemask_epi8(hits));
        }(std::make_index_sequence<kProbes.count>{});
    }
#endif

    // The index of the first member in p[0..n), or n.
    static std::size_t find(const unsigned char* p, std::size_t n) {
        std::size_t i = 0;
#if defined(__SSE2__)
        for (; i + 16 <= n; i += 16) {
            if (const unsigned m = mask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)))) {
                return i + static_cast<std::size_t>(std::countr_zero(m));
            }
        }
#endif
        return i + scan::find_first(p + i, n - i, word, has);
    }

    // Copies p[0..n) to `to` up to the first member, as scan::copy_until.
    static std::size_t copy_until(unsigned char* to, const unsigned char* p, std::size_t n) {
        return scan::copy_until(to, p, n, word, has);
    }
};

}  // namespace zorbel
