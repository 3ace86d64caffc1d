// The fast forms of a byte set (platform/byte_set_definition.h), and the
// choice among them. Each instruction set has its file in simd/, every
// form derived from the set's one definition:
// - portable: eight bytes a step in a 64-bit word, for any processor;
// - sse2: sixteen bytes to a vector, the x86-64 baseline;
// - avx2: thirty-two bytes to a vector, chosen at run time because the
//   binary is built for baseline x86-64.
// ZORBEL_PORTABLE_SCAN builds the portable form alone, so that the tests
// can run the whole tool on it. A test runs every form over all 256 byte
// values. No vector instruction is written outside simd/.
//
// Two kinds of use: scans, which find the first member from a place on,
// and block masks, which give a bit per byte for kBlockBytes bytes at once
// for several sets from one load.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/byte_set_definition.h"
#include "platform/simd/portable.h"

#if !defined(ZORBEL_PORTABLE_SCAN) && defined(__SSE2__)
#define ZORBEL_SCAN_SSE2 1
#include "platform/simd/sse2.h"
#endif
// The AVX2 form needs the compiler's per-function target attribute and its
// processor check; GCC and Clang (and mingw-w64's GCC) have both.
#if defined(ZORBEL_SCAN_SSE2) && (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define ZORBEL_SCAN_AVX2 1
#include "platform/simd/avx2.h"
#include "platform/simd/pclmul.h"
#endif

namespace zorbel {

// The chosen forms of one set: scan, find and copy_until (each form is
// also reached in its own file's namespace, as the tests reach it).
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
    using Portable = simd::portable::Forms<Set>;

    static constexpr std::array<bool, 256> kTable = [] {
        std::array<bool, 256> table{};
        for (int c = 0; c < 256; ++c) table[c] = Set.contains(static_cast<unsigned char>(c));
        return table;
    }();

    static constexpr bool has(unsigned char c) { return kTable[c]; }

    // Flags the members among the eight bytes of x; only the lowest flag is
    // exact (simd::portable).
    static constexpr std::uint64_t word(std::uint64_t x) { return Portable::word(x); }

    // The form the passes use. Most scans stop within a few dozen bytes,
    // so the first thirty-two are looked at here, inline, in one step of
    // the SSE2 form; only a scan that gets past them pays for the call to
    // the wide loop, chosen once for the processor. (Looking at sixteen
    // first measured slower on the benchmark pages: runs of 16 to 32
    // bytes, common in text, then took two steps and the call.)
    template <bool kCopy>
    static std::size_t scan(unsigned char* to, const unsigned char* p, std::size_t n) {
#if defined(ZORBEL_SCAN_SSE2)
        using Sse2 = simd::sse2::Forms<Set>;
        if (n >= 32) {
            const std::uint32_t m =
                Sse2::template look16<kCopy>(to, p, 0) | (std::uint32_t{Sse2::template look16<kCopy>(to, p, 16)} << 16);
            if (m != 0) return static_cast<std::size_t>(std::countr_zero(m));
#if defined(ZORBEL_SCAN_AVX2)
            if (simd::avx2::usable()) return simd::avx2::Forms<Set>::template scan_avx2<kCopy>(to, p, 32, n);
#endif
        }
        return Sse2::template scan_sse2<kCopy>(to, p, n >= 32 ? 32 : 0, n);
#else
        return Portable::template scan_words<kCopy>(to, p, 0, n);
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

    // The mask of the sixteen bytes at p (bit k for p[k]), in the form
    // this build has.
    static unsigned mask_of_16(const unsigned char* p) {
#if defined(ZORBEL_SCAN_SSE2)
        return simd::sse2::Forms<Set>::mask16(p);
#else
        const std::uint64_t lo = simd::portable::flag_bits(Portable::exact(simd::portable::load_little(p)));
        const std::uint64_t hi = simd::portable::flag_bits(Portable::exact(simd::portable::load_little(p + 8)));
        return static_cast<unsigned>(lo | hi << 8);
#endif
    }
};

// The masks of kBlockBytes bytes for several sets at once, in the form this
// build and processor have.
template <ByteSet... Sets>
struct ByteSetBlock {
    static constexpr std::size_t kSets = sizeof...(Sets);
    using Masks = std::array<std::uint64_t, kSets>;

    // The first byte value that no set holds, to fill out a part block.
    static constexpr unsigned char kNoMember = [] {
        int c = 0;
        while (c < 256 && (Sets.contains(static_cast<unsigned char>(c)) || ...)) ++c;
        return static_cast<unsigned char>(c);
    }();
    static_assert(!(Sets.contains(kNoMember) || ...), "some byte value is in none of the sets");

    // Bit k of out[s] is set when p[k] is a member of the s-th set;
    // p[0..kBlockBytes) must be readable, out[0..kSets) writable.
    static void into(const unsigned char* p, std::uint64_t* out) {
#if defined(ZORBEL_SCAN_AVX2)
        if (simd::avx2::usable()) {
            simd::avx2::block_masks<Sets...>(p, out);
            return;
        }
#endif
#if defined(ZORBEL_SCAN_SSE2)
        simd::sse2::block_masks<Sets...>(p, out);
#else
        simd::portable::block_masks<Sets...>(p, out);
#endif
    }

    // The masks of the first n bytes at p (n at most kBlockBytes): no bit is
    // set past them. For the last bytes of a buffer, where a whole block
    // may not be read: they are copied into one filled out with a byte of
    // no set.
    static void into_part(const unsigned char* p, std::size_t n, std::uint64_t* out) {
        unsigned char block[kBlockBytes];
        std::memset(block, kNoMember, sizeof block);
        std::memcpy(block, p, n);
        into(block, out);
    }

    // The same, as an array.
    static Masks of(const unsigned char* p) {
        Masks masks;
        into(p, masks.data());
        return masks;
    }
};

// Bit k of the result is the XOR of bits 0..k of x, in the form this build
// and processor have.
inline std::uint64_t prefix_xor(std::uint64_t x) {
#if defined(ZORBEL_SCAN_AVX2)
    if (simd::pclmul::usable()) return simd::pclmul::prefix_xor(x);
#endif
    return simd::portable::prefix_xor(x);
}

}  // namespace zorbel
