// Runs one pass's streaming core, in process, over a page file a given
// number of times, with its output thrown away: the program that
// bench/instructions counts under a profiler. Prints the bytes read and the
// page's stop bytes (the bytes where some rule of the pass may act), so
// that counts can be given per byte and per stop.
//
//   zorbel_pass_once line|rewrite|both PAGE [ROUNDS]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "cleanup/line_pass.h"
#include "engine_floor.h"
#include "core/settings.h"
#include "platform/byte_io.h"
#include "platform/clock.h"
#include "rewrite/rewrite_pass.h"
#include "rewrite/rules.h"
#include "zorbel/zorbel.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zorbel_pass_once line|rewrite|both|floor PAGE [ROUNDS]\n");
        return 2;
    }
    const std::string_view pass = argv[1];
    std::ifstream file(argv[2], std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        std::fprintf(stderr, "zorbel_pass_once: cannot read %s\n", argv[2]);
        return 2;
    }
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 1;
    // Made with no rounds too, so that a count with none subtracts its
    // memory's first touch.
    std::unique_ptr<zorbel::bench::EngineFloor> floor;
    if (pass == "floor") floor = std::make_unique<zorbel::bench::EngineFloor>(page.size());
    for (int round = 0; round < rounds; ++round) {
        zorbel::ViewSource source(page);
        zorbel::DiscardingSink sink;
        if (pass == "line") {
            zorbel::strip_lines_stream(source, sink, true, zorbel::kDefaultBlockSize);
        } else if (pass == "rewrite") {
            zorbel::rewrite_stream(source, sink, zorbel::Options{}, zorbel::CarriedState{}, zorbel::local_now);
        } else if (pass == "both") {
            zorbel::Tidier tidier{zorbel::PageOptions{}};
            const zorbel::TidiedPage tidied = tidier.tidy(page);
            if (tidied.bytes.empty() && !page.empty()) return 1;
        } else if (pass == "floor") {
            if (floor->run(page, zorbel::Options{}.wrap_margin) < page.size()) return 1;
        } else {
            std::fprintf(stderr, "zorbel_pass_once: no pass named %s\n", argv[1]);
            return 2;
        }
    }
    std::size_t stops = 0;
    for (const char c : page) {
        const auto b = static_cast<unsigned char>(c);
        stops += pass == "line" ? zorbel::ByteSetForms<zorbel::kLineStops>::has(b)
                                : zorbel::ByteSetForms<zorbel::kRunStops>::has(b);
    }
    std::printf("bytes %llu stops %llu\n", static_cast<unsigned long long>(page.size()) * rounds,
                static_cast<unsigned long long>(stops) * rounds);
    return 0;
}
