// Shared by the rewriting-engine tests: a run over an in-memory input and
// work file, a pinned clock, and the block sizes every case is run with.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/carried_state.h"
#include "core/settings.h"
#include "platform/byte_io.h"
#include "rewrite/echo_stream.h"
#include "rewrite/rewrite_pass.h"

namespace zorbel::test {

// Tiny blocks put a block boundary between every pair of bytes; the last is
// the size the tool uses.
inline const std::vector<std::size_t> kBlockSizes = {1, 2, 3, 7, 64, kDefaultBlockSize};

// 15:05 on Thursday, 4 July 2013.
inline BrokenDownTime pinned_time() { return BrokenDownTime{4, 6, 4, 113, 15, 5}; }
inline constexpr const char* kPinnedStamp = "Thursday 7/4/13 3:05 pm";

// What the rewrite core makes of a string.
struct Rewritten {
    std::string work;
    RewriteOutcome outcome;
};

// The one way the tests rewrite a string: the rewrite core with the options
// and carried state given, the pinned clock and the block size. With bulk
// off every byte goes through the tokenizer one at a time.
inline Rewritten rewrite_text(const std::string& input, const Options& options,
                              std::size_t block = kDefaultBlockSize, CarriedState carried = {},
                              bool prefixes = false, bool bulk = true) {
    StringSource source(input);
    StringSink sink;
    Rewritten result;
    const RewriteMode mode{.debug_prefixes = prefixes, .bulk = bulk, .block_size = block};
    result.outcome = rewrite_stream(source, sink, options, carried, pinned_time, mode);
    result.work = sink.data;
    return result;
}

// The options a setup function gives a fresh run's settings.
template <typename Setup>
Options options_after(const Setup& setup) {
    RunSettings settings;
    if (setup) setup(settings);
    return settings.options;
}

// One engine run over an in-memory input. Set settings.options and the
// carried flags, then start().
struct EngineHarness {
    explicit EngineHarness(std::string input, std::size_t block_size = kDefaultBlockSize)
        : source(std::move(input)) {
        settings.block_size = block_size;
        settings.clock = pinned_time;
    }

    RewriteState& start(bool debug_prefixes = false) {
        state = std::make_unique<RewriteState>(settings.options, carried, settings.clock, source, sink,
                                               settings.block_size, debug_prefixes);
        return *state;
    }

    // The work file as the pass leaves it: cut at the final write position.
    std::string work() {
        state->work_window.finish_at_position();
        return sink.data;
    }

    RunSettings settings;
    CarriedState carried;
    StringSource source;
    StringSink sink;
    std::unique_ptr<RewriteState> state;
};

}  // namespace zorbel::test
