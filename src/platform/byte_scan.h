// Word-at-a-time scans and copies: the first byte of a small set, found
// eight bytes per step instead of one branch per byte, and short copies made
// eight bytes per step. The passes use them to find where a run of ordinary
// text ends and to copy tags of a few hundred bytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zorbel::scan {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// Flags (the high bit) the bytes of x below n, for n up to 0x80. Above the
// lowest flagged byte a flag may be false (a borrow runs on), so only the
// lowest flag of a word, or of several words joined with |, is to be used:
// that one is always exact.
constexpr std::uint64_t below(std::uint64_t x, unsigned n) { return (x - kOnes * n) & ~x & kHighs; }

// Flags the bytes of x equal to c, with the same caveat.
constexpr std::uint64_t equal(std::uint64_t x, unsigned char c) { return below(x ^ (kOnes * c), 1); }

// Flags the bytes of x other than c, every one of them exactly: no carry
// crosses a byte, as the high bits are added apart.
constexpr std::uint64_t other_than(std::uint64_t x, unsigned char c) {
    const std::uint64_t y = x ^ (kOnes * c);
    return (((y & ~kHighs) + ~kHighs) | y) & kHighs;
}

// The index of the first byte of p[0..n) that is_stop accepts, or n.
// word_stops flags, in the sense above, exactly the bytes is_stop accepts.
template <class WordStops, class ByteStops>
std::size_t find_first(const unsigned char* p, std::size_t n, WordStops word_stops, ByteStops is_stop) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8) {
            std::uint64_t x;
            std::memcpy(&x, p + i, 8);
            if (const std::uint64_t flags = word_stops(x)) {
                return i + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
            }
        }
    }
    for (; i < n; ++i) {
        if (is_stop(p[i])) return i;
    }
    return n;
}

// Copies p[0..n) to `to` up to the first byte is_stop accepts, and returns
// that byte's index, or n. Copies whole words as it looks: bytes of `to`
// after the stop may be overwritten too, never at or past to + n. The
// caller must own all of to[0..n) and care for none of it past the stop.
template <class WordStops, class ByteStops>
std::size_t copy_until(unsigned char* to, const unsigned char* p, std::size_t n, WordStops word_stops,
                       ByteStops is_stop) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8) {
            std::uint64_t x;
            std::memcpy(&x, p + i, 8);
            std::memcpy(to + i, &x, 8);
            if (const std::uint64_t flags = word_stops(x)) {
                return i + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
            }
        }
    }
    for (; i < n; ++i) {
        if (is_stop(p[i])) return i;
        to[i] = p[i];
    }
    return n;
}

// Copies n bytes, at most 64, between buffers that do not overlap, in at
// most two moves of 32, 16, 8 or 4 bytes that may overlap each other:
// inline, with no loop, and reading and writing nothing outside the n bytes.
[[gnu::always_inline]] inline void copy_upto_64(unsigned char* to, const unsigned char* from, std::size_t n) {
    auto move = [&](auto width_tag) {
        constexpr std::size_t kWidth = sizeof(width_tag);
        decltype(width_tag) head, tail;
        std::memcpy(&head, from, kWidth);
        std::memcpy(&tail, from + n - kWidth, kWidth);
        std::memcpy(to, &head, kWidth);
        std::memcpy(to + n - kWidth, &tail, kWidth);
    };
    struct Bytes32 { unsigned char b[32]; };
    struct Bytes16 { unsigned char b[16]; };
    if (n >= 32) {
        move(Bytes32{});
    } else if (n >= 16) {
        move(Bytes16{});
    } else if (n >= 8) {
        move(std::uint64_t{});
    } else if (n >= 4) {
        move(std::uint32_t{});
    } else {
        for (std::size_t k = 0; k < n; ++k) to[k] = from[k];
    }
}

// Copies n bytes between buffers that do not overlap: up to 64 in two
// moves, longer 32 at a time, then eight at a time. For the short copies of
// tag text: compilers tend to expand a memcpy whose size they can bound
// into a string instruction that starts slowly, and most tags are short.
inline void copy_short(unsigned char* to, const unsigned char* from, std::size_t n) {
    if (n <= 64) {
        copy_upto_64(to, from, n);
        return;
    }
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        unsigned char chunk[32];
        std::memcpy(chunk, from + i, 32);
        std::memcpy(to + i, chunk, 32);
    }
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x;
        std::memcpy(&x, from + i, 8);
        std::memcpy(to + i, &x, 8);
    }
    for (; i < n; ++i) to[i] = from[i];
}

}  // namespace zorbel::scan
