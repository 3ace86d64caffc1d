// Sets of byte values, each written once as "every byte below a bound, and
// these few bytes", with every fast form of its membership test derived
// from that one definition: a 256-entry table for one byte at a time, flags
// in a 64-bit word for eight bytes at a time, and masks of sixteen bytes
// (SSE2) and thirty-two bytes (AVX2) where the processor has them. A test
// runs every form over all 256 byte values.
//
// The scans come in three forms: words (eight bytes a step, no vector
// instructions, for any processor), SSE2 (thirty-two bytes a step, the
// x86-64 baseline) and AVX2 (sixty-four bytes a step), the last chosen at
// run time because the binary is built for baseline x86-64.
// ZORBEL_PORTABLE_SCAN builds the word form alone, so that the tests can
// run the whole tool on it.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#if !defined(ZORBEL_PORTABLE_SCAN) && defined(__SSE2__)
#define ZORBEL_SCAN_SSE2 1
#include <emmintrin.h>
#endif
// The AVX2 form needs the compiler's per-function target attribute and its
// processor check; GCC and Clang (and mingw-w64's GCC) have both.
#if defined(ZORBEL_SCAN_SSE2) && (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define ZORBEL_SCAN_AVX2 1
#include <immintrin.h>
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

#if defined(ZORBEL_SCAN_AVX2)
// Whether the processor, and the operating system that must save its wider
// registers, can run AVX2. Asked once, on the first scan that runs past
// its first thirty-two bytes; the answer is then a load and a branch.
inline bool avx2_usable() {
    static const bool usable = [] {
        // The compiler's own start-up code may not have run yet when a
        // scan runs during static initialisation.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return usable;
}
#endif

}  // namespace byte_set_detail

// The fast forms of one set.
//
// The scans take (to, p, i, n): they look at p[i..n) and return the index
// of the first member there, or n. With kCopy they also copy the bytes to
// the same places in `to` as they look, whole words or vectors at a time:
// bytes of `to` after the stop may be written too, never at or past to + n,
// and bytes of to[0..i) may be written again with the same values of p
// (the vector forms look at their last bytes through a load that reaches
// back). Without kCopy, `to` is never touched and may be null.
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

    // The word form: eight bytes a step, on any processor.
    template <bool kCopy>
    static std::size_t scan_words(unsigned char* to, const unsigned char* p, std::size_t i, std::size_t n) {
        if constexpr (kCopy) {
            return i + scan::copy_until(to + i, p + i, n - i, word, has);
        } else {
            return i + scan::find_first(p + i, n - i, word, has);
        }
    }

#if defined(ZORBEL_SCAN_SSE2)
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

    // The mask of p[i..i + 16), those bytes copied to `to` first with kCopy.
    template <bool kCopy>
    static unsigned look16(unsigned char* to, const unsigned char* p, std::size_t i) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if constexpr (kCopy) _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), x);
        return mask(x);
    }

    // The SSE2 form: thirty-two bytes a step, in two vectors whose masks
    // are joined, so that a step ends in one branch.
    template <bool kCopy>
    static std::size_t scan_sse2(unsigned char* to, const unsigned char* p, std::size_t i, std::size_t n) {
        for (; i + 32 <= n; i += 32) {
            const std::uint32_t m = look16<kCopy>(to, p, i) | (std::uint32_t{look16<kCopy>(to, p, i + 16)} << 16);
            if (m != 0) return i + static_cast<std::size_t>(std::countr_zero(m));
        }
        if (i + 16 <= n) {
            if (const unsigned m = look16<kCopy>(to, p, i)) return i + static_cast<std::size_t>(std::countr_zero(m));
            i += 16;
        }
        if (i == n) return n;
        if (n < 16) return scan_words<kCopy>(to, p, i, n);
        // Fewer than sixteen bytes left, but sixteen in the buffer: one load
        // of its last sixteen, with the bits of the bytes before i, already
        // looked at, shifted out.
        const unsigned m = look16<kCopy>(to, p, n - 16) >> (i - (n - 16));
        return m != 0 ? i + static_cast<std::size_t>(std::countr_zero(m)) : n;
    }
#endif

#if defined(ZORBEL_SCAN_AVX2)
    // The mask of the thirty-two bytes at p: bit k set when p[k] is a
    // member. Every bit is exact. Only for a processor with AVX2.
    __attribute__((target("avx2"))) static std::uint32_t mask32(const unsigned char* p) {
        return look32<false>(nullptr, p, 0, std::make_index_sequence<kProbes.count>{});
    }

    // mask32 of p[i..i + 32), those bytes copied to `to` first with kCopy.
    // The probes are unfolded here rather than in a lambda, as mask does:
    // a lambda would not take this function's target, and its AVX2
    // instructions would not compile.
    template <bool kCopy, std::size_t... K>
    __attribute__((target("avx2"))) static std::uint32_t look32(unsigned char* to, const unsigned char* p,
                                                                std::size_t i, std::index_sequence<K...>) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        if constexpr (kCopy) _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), x);
        __m256i hits = _mm256_setzero_si256();
        if constexpr (Set.below > 0) {
            hits = _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(static_cast<char>(Set.below - 1))), x);
        }
        ((hits = _mm256_or_si256(
              hits, _mm256_cmpeq_epi8(_mm256_or_si256(x, _mm256_set1_epi8(static_cast<char>(kProbes.probe[K].bits))),
                                      _mm256_set1_epi8(static_cast<char>(kProbes.probe[K].value))))),
         ...);
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(hits));
    }

    // The AVX2 form: sixty-four bytes a step, in two vectors whose masks
    // are joined. Only for a processor with AVX2.
    template <bool kCopy>
    __attribute__((target("avx2"))) static std::size_t scan_avx2(unsigned char* to, const unsigned char* p,
                                                                 std::size_t i, std::size_t n) {
        constexpr auto kProbeIndices = std::make_index_sequence<kProbes.count>{};
        for (; i + 64 <= n; i += 64) {
            const std::uint64_t m = look32<kCopy>(to, p, i, kProbeIndices) |
                                    (std::uint64_t{look32<kCopy>(to, p, i + 32, kProbeIndices)} << 32);
            if (m != 0) return i + static_cast<std::size_t>(std::countr_zero(m));
        }
        if (i + 32 <= n) {
            if (const std::uint32_t m = look32<kCopy>(to, p, i, kProbeIndices)) {
                return i + static_cast<std::size_t>(std::countr_zero(m));
            }
            i += 32;
        }
        if (i == n) return n;
        if (n < 32) return scan_sse2<kCopy>(to, p, i, n);
        // As in scan_sse2: the buffer's last thirty-two bytes in one load.
        const std::uint32_t m = look32<kCopy>(to, p, n - 32, kProbeIndices) >> (i - (n - 32));
        return m != 0 ? i + static_cast<std::size_t>(std::countr_zero(m)) : n;
    }
#endif

    // The form the passes use. Most scans stop within a few dozen bytes,
    // so the first thirty-two are looked at here, inline, in one step of
    // the SSE2 form; only a scan that gets past them pays for the call to
    // the wide loop, chosen once for the processor. (Looking at sixteen
    // first measured slower on the benchmark pages: runs of 16 to 32
    // bytes, common in text, then took two steps and the call.)
    template <bool kCopy>
    static std::size_t scan(unsigned char* to, const unsigned char* p, std::size_t n) {
#if defined(ZORBEL_SCAN_SSE2)
        if (n >= 32) {
            const std::uint32_t m = look16<kCopy>(to, p, 0) | (std::uint32_t{look16<kCopy>(to, p, 16)} << 16);
            if (m != 0) return static_cast<std::size_t>(std::countr_zero(m));
#if defined(ZORBEL_SCAN_AVX2)
            if (byte_set_detail::avx2_usable()) return scan_avx2<kCopy>(to, p, 32, n);
#endif
        }
        return scan_sse2<kCopy>(to, p, n >= 32 ? 32 : 0, n);
#else
        return scan_words<kCopy>(to, p, 0, n);
#endif
    }

    // The index of the first member in p[0..n), or n.
    static std::size_t find(const unsigned char* p, std::size_t n) { return scan<false>(nullptr, p, n); }

    // Copies p[0..n) to `to` up to the first member, and returns its index,
    // or n. Bytes of `to` after that index may be written too, never at or
    // past to + n: the caller must own all of to[0..n) and care for none of
    // it past the stop.
    static std::size_t copy_until(unsigned char* to, const unsigned char* p, std::size_t n) {
        return scan<true>(to, p, n);
    }
};

}  // namespace zorbel
