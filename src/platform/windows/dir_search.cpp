// The directory search with FindFirstFileA and FindNextFileA: the system
// matches the names by its own wildcard rules (without regard to case) and
// yields them in its own order.
#include "platform/dir_search.h"

#include <windows.h>

#include "platform/files.h"

namespace zorbel {

namespace {

constexpr DWORD kPassedOver = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

}  // namespace

FileSearch::FileSearch(const std::string& pattern) {
    const std::string directory = pattern.substr(0, file_name_start(pattern));
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
    // No match, no such directory, a pattern the system refuses (one longer
    // than its path limit among them): no match.
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & kPassedOver) continue;
        paths_.push_back(directory + found.cFileName);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
}

}  // namespace zorbel
