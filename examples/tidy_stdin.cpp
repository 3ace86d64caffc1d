// Tidies the page on standard input and writes it to standard output, with
// the margin given as the only argument (70 without one).
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include <zorbel/zorbel.h>

int main(int argc, char** argv) {
    std::string page(std::istreambuf_iterator<char>(std::cin), {});
    zorbel::PageOptions options;
    if (argc > 1) options.wrap_margin = std::atoi(argv[1]);
    zorbel::TidiedPage tidied = zorbel::tidy_page(page, options);
    if (tidied.error != zorbel::PageError::kNone) {
        std::fprintf(stderr, "%s\n", tidied.message.c_str());
        return 1;
    }
    std::fwrite(tidied.bytes.data(), 1, tidied.bytes.size(), stdout);
    std::fprintf(stderr, "lines %s, rewrite %s\n", tidied.lines_changed ? "changed" : "kept",
                 tidied.rewrite_changed ? "changed" : "kept");
    return 0;
}
