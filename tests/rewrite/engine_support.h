// Shared by the rewriting-engine tests: a run over an in-memory input and
// work file, a pinned clock, and the block sizes every case is run with.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/run.h"
#include "rewrite/echo_stream.h"

namespace zorbel::test {

// Tiny blocks put a block boundary between every pair of bytes; the last is
// the size the tool uses.
inline const std::vector<std::size_t> kBlockSizes = {1, 2, 3, 7, 64, kDefaultBlockSize};

// 15:05 on Thursday, 4 July 2013.
inline BrokenDownTime pinned_time() { return BrokenDownTime{4, 6, 4, 113, 15, 5}; }
inline constexpr const char* kPinnedStamp = "Thursday 7/4/13 3:05 pm";

// One engine run over an in-memory input. Set run.options and the carried
// flags, then start().
struct EngineHarness {
    explicit EngineHarness(std::string input, std::size_t block_size = kDefaultBlockSize)
        : source(std::move(input)) {
        run.block_size = block_size;
        run.clock = pinned_time;
    }

    RewriteState& start(bool debug_prefixes = false) {
        state = std::make_unique<RewriteState>(run.options, CarriedState{run.after_newline, run.crlf_collapse_active},
                                               run.clock, source, sink, run.block_size, debug_prefixes);
        return *state;
    }

    // The work file as the pass leaves it: cut at the final write position.
    std::string work() {
        state->work_file.finish_at_position();
        return sink.data;
    }

    StringConsole console;
    Run run{console};
    StringSource source;
    StringSink sink;
    std::unique_ptr<RewriteState> state;
};

}  // namespace zorbel::test
