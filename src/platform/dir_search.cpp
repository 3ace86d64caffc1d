#include "platform/dir_search.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

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

FileSearch::FileSearch(const std::string& pattern) {
    const std::size_t slash = pattern.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    const std::string_view name_pattern =
        std::string_view(pattern).substr(slash == std::string::npos ? 0 : slash + 1);

    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) return;  // no such directory, or not readable: no match
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;  // hidden, and "." and ".."
        if (!wildcard_match(name_pattern, name)) continue;
        names.emplace_back(name);
    }
    ::closedir(dir);

    // std::string orders by unsigned byte value, as memcmp does.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string path = directory + name;
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) paths_.push_back(std::move(path));
    }
}

std::optional<std::string> FileSearch::next_match() {
    if (next_ >= paths_.size()) return std::nullopt;
    return paths_[next_++];
}

}  // namespace zorbel
