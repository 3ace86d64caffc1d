// The directory search with opendir and readdir: names are matched here,
// byte for byte, and sorted.
#include "platform/dir_search.h"

#include <algorithm>
#include <utility>
#include <dirent.h>
#include <sys/stat.h>

#include "platform/files.h"

namespace zorbel {

FileSearch::FileSearch(const std::string& pattern) {
    const std::size_t name_start = file_name_start(pattern);
    const std::string directory = pattern.substr(0, name_start);
    const std::string_view name_pattern = std::string_view(pattern).substr(name_start);

    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) return;  // no such directory, or not readable: no match
    // Each name with whether the directory already says it is a regular
    // file; links, and file systems that do not say, need a look.
    std::vector<std::pair<std::string, bool>> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;  // hidden, and "." and ".."
        if (!wildcard_match(name_pattern, name)) continue;
        names.emplace_back(name, entry->d_type == DT_REG);
    }
    ::closedir(dir);

    // std::string orders by unsigned byte value, as memcmp does.
    std::sort(names.begin(), names.end());
    for (const auto& [name, regular] : names) {
        std::string path = directory + name;
        struct stat st;
        if (regular || (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))) paths_.push_back(std::move(path));
    }
}

}  // namespace zorbel
