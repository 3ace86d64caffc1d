// The SSE2 forms of a byte set, the x86-64 baseline: sixteen bytes to a
// vector. Only included where the compiler targets SSE2.
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/byte_set_definition.h"
#include "platform/simd/portable.h"

namespace zorbel::simd::sse2 {

template <ByteSet Set>
struct Forms {
    static constexpr byte_set_detail::Probes kProbes = byte_set_detail::kProbes<Set>;

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

    // The mask of the sixteen bytes at p.
    static unsigned mask16(const unsigned char* p) { return mask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))); }

    // The mask of p[i..i + 16), those bytes copied to `to` first with kCopy.
    template <bool kCopy>
    static unsigned look16(unsigned char* to, const unsigned char* p, std::size_t i) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if constexpr (kCopy) _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), x);
        return mask(x);
    }

    // Thirty-two bytes a step, in two vectors whose masks are joined, so
    // that a step ends in one branch.
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
        if (n < 16) return portable::Forms<Set>::template scan_words<kCopy>(to, p, i, n);
        // Fewer than sixteen bytes left, but sixteen in the buffer: one load
        // of its last sixteen, with the bits of the bytes before i, already
        // looked at, shifted out.
        const unsigned m = look16<kCopy>(to, p, n - 16) >> (i - (n - 16));
        return m != 0 ? i + static_cast<std::size_t>(std::countr_zero(m)) : n;
    }
};

// The masks of a block of kBlockBytes bytes at p, one per set, from four
// loads shared by every set.
template <ByteSet... Sets>
void block_masks(const unsigned char* p, std::uint64_t* out) {
    static_assert(kBlockBytes == 64);
    const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
    std::size_t s = 0;
    ((out[s++] = std::uint64_t{Forms<Sets>::mask(x0)} | std::uint64_t{Forms<Sets>::mask(x1)} << 16 |
                 std::uint64_t{Forms<Sets>::mask(x2)} << 32 | std::uint64_t{Forms<Sets>::mask(x3)} << 48),
     ...);
}

}  // namespace zorbel::simd::sse2
