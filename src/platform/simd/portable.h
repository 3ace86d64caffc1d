// The portable forms of a byte set: eight bytes a step in a 64-bit word,
// with no vector instructions, for any processor. ZORBEL_PORTABLE_SCAN
// builds these alone, so that the tests run the whole tool on them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/byte_scan.h"
#include "platform/byte_set_definition.h"

namespace zorbel::simd::portable {

// Bit k of the result is the XOR of bits 0..k of x: over a mask of quotes,
// set from an opening quote up to (not with) its closing one.
constexpr std::uint64_t prefix_xor(std::uint64_t x) {
    for (unsigned shift = 1; shift < 64; shift *= 2) x ^= x << shift;
    return x;
}

// Flags (the high bit) exactly the bytes of x below n, for n up to 0x80:
// (b | 0x80) - n never borrows from the next byte, and its high bit is
// clear exactly when b & 0x7f is under n.
constexpr std::uint64_t below_exact(std::uint64_t x, unsigned n) {
    return ~((x | scan::kHighs) - scan::kOnes * n) & ~x & scan::kHighs;
}

// Flags exactly the bytes of x that are zero: (y & 0x7f) + 0x7f never
// carries into the next byte.
constexpr std::uint64_t zero_exact(std::uint64_t y) {
    const std::uint64_t low = ~scan::kHighs;
    return ~(((y & low) + low) | y) & scan::kHighs;
}

// The eight high-bit flags of a word, one bit per byte, byte 0 lowest.
constexpr std::uint64_t flag_bits(std::uint64_t flags) { return ((flags >> 7) * 0x0102040810204080ULL) >> 56; }

template <ByteSet Set>
struct Forms {
    static constexpr byte_set_detail::Probes kProbes = byte_set_detail::kProbes<Set>;

    // Flags the members among the eight bytes of x, in the sense of
    // scan::below: only the lowest flag is exact. Cheaper than exact().
    static constexpr std::uint64_t word(std::uint64_t x) {
        return [x]<std::size_t... K>(std::index_sequence<K...>) {
            std::uint64_t flags = Set.below > 0 ? scan::below(x, Set.below) : 0;
            ((flags |= scan::equal(x | (scan::kOnes * kProbes.probe[K].bits), kProbes.probe[K].value)), ...);
            return flags;
        }(std::make_index_sequence<kProbes.count>{});
    }

    // Flags exactly the members among the eight bytes of x.
    static constexpr std::uint64_t exact(std::uint64_t x) {
        return [x]<std::size_t... K>(std::index_sequence<K...>) {
            std::uint64_t flags = Set.below > 0 ? below_exact(x, Set.below) : 0;
            ((flags |= zero_exact((x | (scan::kOnes * kProbes.probe[K].bits)) ^ (scan::kOnes * kProbes.probe[K].value))),
             ...);
            return flags;
        }(std::make_index_sequence<kProbes.count>{});
    }

    static constexpr bool has(unsigned char c) { return Set.contains(c); }

    // Looks at p[i..n), copying with kCopy; see ByteSetForms.
    template <bool kCopy>
    static std::size_t scan_words(unsigned char* to, const unsigned char* p, std::size_t i, std::size_t n) {
        if constexpr (kCopy) {
            return i + scan::copy_until(to + i, p + i, n - i, word, has);
        } else {
            return i + scan::find_first(p + i, n - i, word, has);
        }
    }
};

// Eight bytes as a word, the first byte lowest, on any processor.
inline std::uint64_t load_little(const unsigned char* p) {
    std::uint64_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&x, p, 8);
    } else {
        for (int k = 7; k >= 0; --k) x = x << 8 | p[k];
    }
    return x;
}

// The masks of a block of kBlockBytes bytes at p, one per set: bit k set
// when p[k] is a member.
template <ByteSet... Sets>
void block_masks(const unsigned char* p, std::uint64_t* out) {
    for (std::size_t s = 0; s < sizeof...(Sets); ++s) out[s] = 0;
    for (std::size_t w = 0; w < kBlockBytes / 8; ++w) {
        const std::uint64_t x = load_little(p + 8 * w);
        std::size_t s = 0;
        ((out[s++] |= flag_bits(Forms<Sets>::exact(x)) << (8 * w)), ...);
    }
}

}  // namespace zorbel::simd::portable
