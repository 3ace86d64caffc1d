// A yardstick for the rewrite core: the least an engine in two stages does
// with a page held in memory. Stage 1 gives, for every 64-byte block, the
// masks of the rewrite's stop bytes (platform/byte_set.h, kRunStops), of
// blanks and of '>'. Stage 2 walks the stop bits: it copies the bytes
// between two of them in one step, keeps the output column, takes a tag to
// its first '>', ends a line at a line end, makes the first blank past the
// margin a line end, and copies any other stop byte. No other rule acts:
// no quote, entity, indentation, attribute value or token bookkeeping. What
// the real core spends beyond this is what its rules cost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace zorbel::bench {

// The memory the yardstick works in, taken and touched once before it is
// timed, so that no run pays for fresh pages: the output (every blank may
// become a CR LF, and whole 32-byte moves may write past the last byte) and
// stage 1's masks, three words for each block and for one block more.
class EngineFloor {
public:
    explicit EngineFloor(std::size_t page_size);

    // Runs the yardstick over page (at most page_size bytes); returns the
    // bytes written.
    std::size_t run(std::string_view page, std::int32_t margin);

private:
    std::unique_ptr<unsigned char[]> out_;
    std::unique_ptr<std::uint64_t[]> index_;
    std::size_t page_size_;
};

}  // namespace zorbel::bench
