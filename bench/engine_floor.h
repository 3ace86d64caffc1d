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
#include <string_view>

namespace zorbel::bench {

// The bytes out must have room for: every blank may become a CR LF, and
// whole 32-byte moves may write past the last byte.
inline std::size_t engine_floor_room(std::size_t page_size) { return 2 * page_size + 64; }

// Runs the yardstick over page into out (engine_floor_room bytes); returns
// the bytes written and counts the stop bytes acted on in events.
std::size_t engine_floor(std::string_view page, unsigned char* out, std::int32_t margin, std::size_t& events);

}  // namespace zorbel::bench
