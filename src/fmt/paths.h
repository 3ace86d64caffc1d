// The pages that the PATH arguments name: files as named, folders walked.
#pragma once

#include <string>
#include <vector>

namespace zorbel::fmt {

// A page to tidy, or a path that cannot be tidied and why.
struct Found {
    std::string path;     // as printed: the argument, or under it with '/' between
    std::string failure;  // "what failed: the system's reason", or empty
};

// The pages of the arguments, in order: a named file (or a link to one) as
// it is, whatever its name; a named folder walked recursively, its entries
// in byte order of their names. A walk takes the files whose extension
// begins with .htm in any case, and links to such files; it passes over
// names beginning with '.', .b~k backups, links to folders and anything
// that is not a regular file. Paths matching an exclude are left out (a
// folder with all it holds); a named .b~k backup is left out too.
std::vector<Found> find_pages(const std::vector<std::string>& paths, const std::vector<std::string>& excludes);

// Whether one of the globs matches a run of whole parts of the path
// (* any run of characters but '/', ? one character but '/'): 'old' leaves
// out site/old and everything in it, '*.tmp.htm' any such file, and
// 'site/old' only that folder under site.
bool excluded(const std::string& path, const std::vector<std::string>& excludes);

}  // namespace zorbel::fmt
