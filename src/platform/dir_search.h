// Wildcard search of one directory for plain files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbel {

// Matches a file name against a wildcard pattern, byte for byte and
// case-sensitively: '*' matches any run of bytes (also none), '?' exactly one
// byte, every other byte itself. There are no brackets and no escapes.
bool wildcard_match(std::string_view pattern, std::string_view name);

// The files one pattern names. Only the last path component may hold
// wildcards; the text up to and including the last '/' is the directory
// searched (the current directory when there is none). A name beginning with
// '.' counts as hidden and is passed over, as is everything that is not a
// regular file after following symbolic links (directories, FIFOs, sockets,
// devices, dangling links).
//
// The matches are listed when the search is made and handed out in ascending
// byte order, so a batch is deterministic and never meets the backups and
// work files it creates itself. Each path is the pattern's directory text
// followed by the found name.
class FileSearch {
public:
    explicit FileSearch(const std::string& pattern);

    // The next matching path, or nothing when the search is done.
    std::optional<std::string> next_match();

private:
    std::vector<std::string> paths_;
    std::size_t next_ = 0;
};

}  // namespace zorbel
