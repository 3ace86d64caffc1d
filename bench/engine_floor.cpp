#include "engine_floor.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/byte_set.h"
#include "rewrite/rules.h"

namespace zorbel::bench {

namespace {

constexpr ByteSet kBlank = byte_set(0, {' '});
constexpr ByteSet kTagEnd = byte_set(0, {'>'});
using Block = ByteSetBlock<kRunStops, kBlank, kTagEnd>;
enum Mask { kStops, kBlanks, kEnds, kMasks };

}  // namespace

EngineFloor::EngineFloor(std::size_t page_size)
    : out_(new unsigned char[2 * page_size + 64]),
      index_(new std::uint64_t[kMasks * (page_size / kBlockBytes + 2)]),
      page_size_(page_size) {
    std::memset(out_.get(), 0, 2 * page_size + 64);
    std::memset(index_.get(), 0, sizeof(std::uint64_t) * kMasks * (page_size / kBlockBytes + 2));
}

std::size_t EngineFloor::run(std::string_view page, std::int32_t margin) {
    const auto* in = reinterpret_cast<const unsigned char*>(page.data());
    const std::size_t n = std::min(page.size(), page_size_);
    const std::size_t blocks = (n + kBlockBytes - 1) / kBlockBytes;
    unsigned char* const out = out_.get();
    std::uint64_t* const index = index_.get();

    // Stage 1: the masks of every block, and one more block of all ones so
    // that a walk ends there.
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t from = b * kBlockBytes;
        if (n - from >= kBlockBytes) {
            Block::into(in + from, index + kMasks * b);
        } else {
            Block::into_part(in + from, n - from, index + kMasks * b);
        }
    }
    std::fill_n(index + kMasks * blocks, kMasks, ~std::uint64_t{0});

    // The first bit of a mask at or after p; n when there is none before.
    const auto next = [&](Mask mask, std::size_t p) {
        std::size_t b = p / kBlockBytes;
        std::uint64_t bits = index[kMasks * b + mask] & (~std::uint64_t{0} << (p % kBlockBytes));
        while (bits == 0) bits = index[kMasks * ++b + mask];
        return std::min(n, kBlockBytes * b + static_cast<std::size_t>(std::countr_zero(bits)));
    };
    // Whole 32-byte moves while they stay inside the page.
    const auto copy = [&](std::size_t o, std::size_t i, std::size_t length) {
        std::size_t k = 0;
        for (; k < length && i + k + 32 <= n; k += 32) std::memcpy(out + o + k, in + i + k, 32);
        if (k < length) std::memcpy(out + o + k, in + i + k, length - k);
    };

    // Stage 2.
    std::size_t i = 0;
    std::size_t o = 0;
    std::int64_t column = 0;
    while (i < n) {
        std::size_t stop = next(kStops, i);
        const std::int64_t left = bytes_before_wrap(column, margin);
        if (static_cast<std::int64_t>(stop - i) > left) stop = std::min(stop, next(kBlanks, i + left));
        copy(o, i, stop - i);
        o += stop - i;
        column += static_cast<std::int64_t>(stop - i);
        i = stop;
        if (i == n) break;
        const unsigned char c = in[i];
        if (c == ' ') {
            out[o++] = '\r';
            out[o++] = '\n';
            column = 0;
            ++i;
        } else if (c == '\n') {
            out[o++] = '\n';
            column = 0;
            ++i;
        } else if (c == '<') {
            const std::size_t length = std::min(n, next(kEnds, i + 1) + 1) - i;
            copy(o, i, length);
            o += length;
            column += static_cast<std::int64_t>(length);
            i += length;
        } else {
            out[o++] = c;
            ++column;
            ++i;
        }
    }
    return o;
}

}  // namespace zorbel::bench
