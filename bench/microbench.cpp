// In-memory micro-benchmarks of the byte streams the passes run on, fed
// with a generated page so the numbers stay free of disk and process noise.
#include "page_generator.h"
#include "platform/byte_io.h"

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

}  // namespace

BENCHMARK_MAIN();
