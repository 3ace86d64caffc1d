// The AVX2 forms of a byte set: thirty-two bytes to a vector. The binary is
// built for baseline x86-64, so these functions carry the compiler's
// per-function target and run only where avx2_usable() says so.
#pragma once

#include <immintrin.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/byte_set_definition.h"
#include "platform/simd/sse2.h"

namespace zorbel::simd::avx2 {

// Whether the processor, and the operating system that must save its wider
// registers, can run AVX2. Asked once; the answer is then a load and a
// branch.
inline bool usable() {
    static const bool answer = [] {
        // The compiler's own start-up code may not have run yet when a
        // scan runs during static initialisation.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return answer;
}

// Thirty-two copies of C, loaded from memory. The compiler would build a
// constant it can see in registers instead, in three instructions at each
// use: once for each set of a block's masks.
template <unsigned char C>
struct Splat {
    alignas(32) static constexpr std::array<unsigned char, 32> kBytes = [] {
        std::array<unsigned char, 32> bytes{};
        bytes.fill(C);
        return bytes;
    }();
    __attribute__((target("avx2"))) static __m256i vector() {
        const unsigned char* bytes = kBytes.data();
        // Hides the bytes' value, which the compiler would otherwise build
        // in registers again.
        asm("" : "+r"(bytes));
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes));
    }
};

template <ByteSet Set>
struct Forms {
    static constexpr byte_set_detail::Probes kProbes = byte_set_detail::kProbes<Set>;
    static constexpr auto kProbeIndices = std::make_index_sequence<kProbes.count>{};

    // Bit k set when byte k of x is a member. The probes are unfolded in a
    // pack rather than in a lambda: a lambda would not take this
    // function's target, and its AVX2 instructions would not compile.
    template <std::size_t... K>
    __attribute__((target("avx2"))) static std::uint32_t mask(__m256i x, std::index_sequence<K...>) {
        __m256i hits = _mm256_setzero_si256();
        if constexpr (Set.below > 0) {
            hits = _mm256_cmpeq_epi8(_mm256_min_epu8(x, Splat<Set.below - 1>::vector()), x);
        }
        ((hits = _mm256_or_si256(hits, probe_hits<K>(x))), ...);
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(hits));
    }

    // The bytes of x that probe K matches: equal to its value once its
    // bits are set (a probe of one byte sets none).
    template <std::size_t K>
    __attribute__((target("avx2"))) static __m256i probe_hits(__m256i x) {
        constexpr byte_set_detail::Probe kProbe = kProbes.probe[K];
        if constexpr (kProbe.bits == 0) {
            return _mm256_cmpeq_epi8(x, Splat<kProbe.value>::vector());
        } else {
            return _mm256_cmpeq_epi8(_mm256_or_si256(x, Splat<kProbe.bits>::vector()), Splat<kProbe.value>::vector());
        }
    }

    // The mask of the thirty-two bytes at p. Every bit is exact.
    __attribute__((target("avx2"))) static std::uint32_t mask32(const unsigned char* p) {
        return mask(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), kProbeIndices);
    }

    // mask32 of p[i..i + 32), those bytes copied to `to` first with kCopy.
    template <bool kCopy>
    __attribute__((target("avx2"))) static std::uint32_t look32(unsigned char* to, const unsigned char* p,
                                                                std::size_t i) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        if constexpr (kCopy) _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), x);
        return mask(x, kProbeIndices);
    }

    // Sixty-four bytes a step, in two vectors whose masks are joined.
    template <bool kCopy>
    __attribute__((target("avx2"))) static std::size_t scan_avx2(unsigned char* to, const unsigned char* p,
                                                                 std::size_t i, std::size_t n) {
        for (; i + 64 <= n; i += 64) {
            const std::uint64_t m = look32<kCopy>(to, p, i) | (std::uint64_t{look32<kCopy>(to, p, i + 32)} << 32);
            if (m != 0) return i + static_cast<std::size_t>(std::countr_zero(m));
        }
        if (i + 32 <= n) {
            if (const std::uint32_t m = look32<kCopy>(to, p, i)) {
                return i + static_cast<std::size_t>(std::countr_zero(m));
            }
            i += 32;
        }
        if (i == n) return n;
        if (n < 32) return sse2::Forms<Set>::template scan_sse2<kCopy>(to, p, i, n);
        // As in scan_sse2: the buffer's last thirty-two bytes in one load.
        const std::uint32_t m = look32<kCopy>(to, p, n - 32) >> (i - (n - 32));
        return m != 0 ? i + static_cast<std::size_t>(std::countr_zero(m)) : n;
    }
};

// The masks of a block of kBlockBytes bytes at p, one per set, from two
// loads shared by every set.
template <ByteSet... Sets>
__attribute__((target("avx2"))) void block_masks(const unsigned char* p, std::uint64_t* out) {
    static_assert(kBlockBytes == 64);
    const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    std::size_t s = 0;
    ((out[s++] = std::uint64_t{Forms<Sets>::mask(x0, Forms<Sets>::kProbeIndices)} |
                 std::uint64_t{Forms<Sets>::mask(x1, Forms<Sets>::kProbeIndices)} << 32),
     ...);
}

}  // namespace zorbel::simd::avx2
