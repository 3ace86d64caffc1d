// The settings of one run: what the command line asked for, the clock the
// stamps read and the size of the passes' reads and writes. Filled before
// the first page and read-only afterwards.
#pragma once

#include <cstddef>
#include <functional>

#include "core/options.h"
#include "platform/clock.h"

namespace zorbel {

// 64 KiB: large enough that reads and writes cost one system call per block
// on ordinary pages, small enough to keep memory flat.
inline constexpr std::size_t kDefaultBlockSize = 64 * 1024;

// The clock the date-time stamps read; tests pin it.
using Clock = std::function<BrokenDownTime()>;

struct RunSettings {
    Options options;
    Clock clock = local_now;
    // Bytes per read and per write of the passes; tests use tiny blocks to
    // find state lost at a block boundary.
    std::size_t block_size = kDefaultBlockSize;
};

}  // namespace zorbel
