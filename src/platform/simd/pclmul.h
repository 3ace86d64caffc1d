// The carry-less multiplication form of the prefix XOR: one multiply by all
// ones instead of six shifts and XORs. Compiled with a per-function target
// and run only where usable() says so.
#pragma once

#include <wmmintrin.h>

#include <cstdint>

namespace zorbel::simd::pclmul {

// Whether the processor can multiply without carries. Asked once.
inline bool usable() {
    static const bool answer = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") != 0;
    }();
    return answer;
}

// Bit k of the result is the XOR of bits 0..k of x.
__attribute__((target("pclmul,sse2"))) inline std::uint64_t prefix_xor(std::uint64_t x) {
    const __m128i product = _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(x)),
                                                 _mm_set1_epi8(static_cast<char>(0xff)), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}

}  // namespace zorbel::simd::pclmul
