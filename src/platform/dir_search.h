// Wildcard search of one directory for plain files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbel {

// Matches a file name against a wildcard pattern, byte for byte and
// case-sensitively, as the POSIX search does: '*' matches any run of bytes (also none), '?' exactly one
// byte, every other byte itself. There are no brackets and no escapes.
bool wildcard_match(std::string_view pattern, std::string_view name);

// The files one pattern names. Only the last path component may hold
// wildcards; the text before it (file_name_start) is the directory searched,
// the current directory when there is none.
//
// On POSIX, names match by wildcard_match; a name beginning with '.' counts
// as hidden and is passed over, as is everything that is not a regular file
// after following symbolic links (directories, FIFOs, sockets, devices,
// dangling links); the matches are handed out in ascending byte order, so a
// batch is deterministic.
//
// On Windows, the system's directory search matches by its own rules (names
// without regard to case) and entries with the hidden, system or directory
// attribute are passed over; the matches are handed out in the order the
// system yields them.
//
// Either way the matches are listed when the search is made, so a batch
// never meets the backups and work files it creates itself. Each path is the
// pattern's drive and directory text followed by the found name.
class FileSearch {
public:
    explicit FileSearch(const std::string& pattern);

    // The next matching path, or nothing when the search is done. The same
    // on every platform: the matches were listed when the search was made.
    std::optional<std::string> next_match() {
        if (next_ >= paths_.size()) return std::nullopt;
        return paths_[next_++];
    }

private:
    std::vector<std::string> paths_;
    std::size_t next_ = 0;
};

}  // namespace zorbel
