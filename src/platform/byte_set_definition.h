// Sets of byte values, each written once as "every byte below a bound, and
// these few bytes". Every fast form of a set's membership test (the files
// in simd/, one per instruction set) is derived from this one definition.
#pragma once

#include <array>
#include <cstddef>

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

template <ByteSet Set>
inline constexpr Probes kProbes = make_probes(Set);

}  // namespace byte_set_detail

// A block: the unit the mask forms look at, one bit per byte in a 64-bit word.
inline constexpr std::size_t kBlockBytes = 64;

}  // namespace zorbel
