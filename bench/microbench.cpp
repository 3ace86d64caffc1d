// In-memory micro-benchmarks of the byte streams the passes run on, fed
// with a generated page so the numbers stay free of disk and process noise.
#include "page_generator.h"
#include "cleanup/line_pass.h"
#include "core/settings.h"
#include "platform/byte_io.h"
#include "rewrite/rewrite_pass.h"
#include "rewrite/tokenizer.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const std::string& sample_page() {
    static const std::string page = zorbel::bench::make_page(1, 4 * 1024 * 1024);
    return page;
}

// Copies a whole page from a StringSource to a StringSink in blocks of the
// given size: the floor any pass built on these streams pays.
void BM_StringBlockCopy(benchmark::State& state) {
    const std::size_t block = static_cast<std::size_t>(state.range(0));
    std::vector<unsigned char> buf(block);
    zorbel::StringSource source(sample_page());
    for (auto _ : state) {
        zorbel::StringSink sink;
        std::uint64_t offset = 0;
        for (long got; (got = source.read_at(offset, buf.data(), block)) > 0;) {
            sink.write_at(offset, buf.data(), static_cast<std::size_t>(got));
            offset += static_cast<std::uint64_t>(got);
        }
        benchmark::DoNotOptimize(sink.data.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(sample_page().size()));
}
BENCHMARK(BM_StringBlockCopy)->Arg(4096)->Arg(64 * 1024)->Arg(1024 * 1024);

// The page as the rewrite pass sees it: after the line pass.
const std::string& stripped_page() {
    static const std::string page = [] {
        zorbel::StringSource source(sample_page());
        zorbel::StringSink sink;
        zorbel::strip_lines_stream(source, sink, true, zorbel::kDefaultBlockSize);
        return sink.data;
    }();
    return page;
}

void set_bytes(benchmark::State& state, const std::string& input) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(input.size()));
}

// The line pass's streaming core over the page in memory.
void BM_LinePassStream(benchmark::State& state) {
    for (auto _ : state) {
        zorbel::StringSource source(sample_page());
        zorbel::StringSink sink;
        auto result = zorbel::strip_lines_stream(source, sink, true, zorbel::kDefaultBlockSize);
        benchmark::DoNotOptimize(result);
    }
    set_bytes(state, sample_page());
}
BENCHMARK(BM_LinePassStream);

// The rewrite pass's streaming core with the default options; with the
// argument 0 every byte goes through the tokenizer one at a time (the runs
// taken in one step switched off), to show what they are worth.
void BM_RewritePassStream(benchmark::State& state) {
    const bool bulk = state.range(0) != 0;
    for (auto _ : state) {
        zorbel::StringSource source(stripped_page());
        zorbel::StringSink sink;
        auto outcome = zorbel::rewrite_stream(source, sink, zorbel::Options{}, zorbel::CarriedState{}, zorbel::local_now,
                                              zorbel::RewriteMode{.bulk = bulk});
        benchmark::DoNotOptimize(outcome);
    }
    set_bytes(state, stripped_page());
}
BENCHMARK(BM_RewritePassStream)->Arg(1)->Arg(0);

// The rewrite pass's streaming core with its output thrown away.
void BM_RewritePassDiscarded(benchmark::State& state) {
    for (auto _ : state) {
        zorbel::StringSource source(stripped_page());
        zorbel::DiscardingSink sink;
        auto outcome =
            zorbel::rewrite_stream(source, sink, zorbel::Options{}, zorbel::CarriedState{}, zorbel::local_now);
        benchmark::DoNotOptimize(outcome);
    }
    set_bytes(state, stripped_page());
}
BENCHMARK(BM_RewritePassDiscarded);

// The tokenizer and echo stream alone: every token of the page, with
// nothing acting on them.
void BM_TokenizerEcho(benchmark::State& state) {
    const zorbel::RunSettings settings;
    for (auto _ : state) {
        zorbel::StringSource source(stripped_page());
        zorbel::StringSink sink;
        zorbel::RewriteState s(settings.options, zorbel::CarriedState{}, settings.clock, source, sink,
                               settings.block_size, false);
        std::size_t tokens = 0;
        for (zorbel::TokenCode t; (t = zorbel::next_token(s)) != zorbel::TOK_EOF; ++tokens) s.pending_tag_end = 0;
        s.work_window.finish_at_position();
        benchmark::DoNotOptimize(tokens);
    }
    set_bytes(state, stripped_page());
}
BENCHMARK(BM_TokenizerEcho);

// Hostile input for the tag capture: '<' only, each capture running to the
// bound and handed back.
void BM_RewritePassLessThanOnly(benchmark::State& state) {
    static const std::string input(1024 * 1024, '<');
    for (auto _ : state) {
        zorbel::StringSource source(input);
        zorbel::StringSink sink;
        auto outcome =
            zorbel::rewrite_stream(source, sink, zorbel::Options{}, zorbel::CarriedState{}, zorbel::local_now);
        benchmark::DoNotOptimize(outcome);
    }
    set_bytes(state, input);
}
BENCHMARK(BM_RewritePassLessThanOnly);

}  // namespace

BENCHMARK_MAIN();
