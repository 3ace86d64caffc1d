#include "platform/dir_search.h"

namespace zorbel {

bool wildcard_match(std::string_view pattern, std::string_view name) {
    // Greedy scan with one backtrack point: on a mismatch, the last '*' takes
    // one more byte. Linear in practice and never exponential, whatever the
    // pattern holds.
    std::size_t p = 0, n = 0;
    std::size_t star = std::string_view::npos, star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            star_n = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace zorbel
