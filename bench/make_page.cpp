// Writes one generated page to a file, for the benchmark scripts: the same
// realistic pages zorbel_bench times, from a seed and a size.
//
//   zorbel_make_page PATH SIZE_MIB [SEED]
#include "page_generator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: zorbel_make_page PATH SIZE_MIB [SEED]\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long long mib = std::strtoull(argv[2], &end, 10);
    // Up to 64 GiB: far past any page worth timing, and well within 64 bits.
    if (*argv[2] == '\0' || *end != '\0' || mib == 0 || mib > 65536) {
        std::fprintf(stderr, "zorbel_make_page: SIZE_MIB must be 1 to 65536, not %s\n", argv[2]);
        return 2;
    }
    std::uint64_t seed = 1;
    if (argc == 4) {
        seed = std::strtoull(argv[3], &end, 10);
        if (*argv[3] == '\0' || *end != '\0') {
            std::fprintf(stderr, "zorbel_make_page: SEED must be a number, not %s\n", argv[3]);
            return 2;
        }
    }
    if (!zorbel::bench::write_page_file(argv[1], seed, mib << 20)) {
        std::fprintf(stderr, "zorbel_make_page: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
