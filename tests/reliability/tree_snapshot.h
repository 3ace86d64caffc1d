// The content of every regular file under a directory, to tell after a run
// exactly what it changed.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "support/test_support.h"

namespace zorbel::test {

// Relative path -> content. Symbolic links and directories are not followed.
using Tree = std::map<std::string, std::string>;

inline Tree snapshot(const std::string& root) {
    Tree tree;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file() && !it->is_symlink())
            tree[std::filesystem::relative(it->path(), root).string()] = read_file(it->path().string());
    }
    return tree;
}

inline bool is_work_file_name(const std::string& path) {
    return path.size() >= 12 && path.compare(path.size() - 5, 5, "~.Z~B") == 0;
}

}  // namespace zorbel::test
