#include "fmt/paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "fmt/replace.h"
#include "platform/dir_search.h"

namespace zorbel::fmt {

namespace {

bool is_separator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// Glob against one run of path parts: as many parts in the glob as in the
// text, each matched as zorbel matches a name against a wildcard pattern,
// so that '*' and '?' never take a separator.
bool glob_match(std::string_view glob, std::string_view text) {
    const auto separator_in = [](std::string_view part) {
        return static_cast<std::size_t>(std::find_if(part.begin(), part.end(), is_separator) - part.begin());
    };
    for (;;) {
        const std::size_t g = separator_in(glob), t = separator_in(text);
        if (!wildcard_match(glob.substr(0, g), text.substr(0, t))) return false;
        if (g == glob.size() || t == text.size()) return g == glob.size() && t == text.size();
        glob.remove_prefix(g + 1);
        text.remove_prefix(t + 1);
    }
}

std::string joined(const std::string& folder, const std::string& name) {
    if (!folder.empty() && is_separator(folder.back())) return folder + name;
    return folder + "/" + name;
}

// The walk of one folder, entries in byte order of their names.
void walk(const std::string& folder, const std::vector<std::string>& excludes, std::vector<Found>& found) {
    std::error_code ec;
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    if (ec) {
        found.push_back({folder, "cannot read the folder: " + system_reason(ec.value())});
        return;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (name.empty() || name[0] == '.') continue;
        const std::string path = joined(folder, name);
        if (excluded(path, excludes)) continue;
        std::error_code kind_ec;
        const std::filesystem::file_status own = std::filesystem::symlink_status(path, kind_ec);
        if (kind_ec) continue;
        if (std::filesystem::is_directory(own)) {
            walk(path, excludes, found);
            continue;
        }
        // A link is followed to a file, never to a folder.
        const std::filesystem::file_status target =
            std::filesystem::is_symlink(own) ? std::filesystem::status(path, kind_ec) : own;
        if (kind_ec || !std::filesystem::is_regular_file(target)) continue;
        if (is_page_name(name) && !is_backup_name(name)) found.push_back({path, ""});
    }
}

}  // namespace

bool excluded(const std::string& path, const std::vector<std::string>& excludes) {
    if (excludes.empty()) return false;
    // The starts and ends of the path's parts.
    std::vector<std::size_t> starts{0}, ends;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (is_separator(path[i])) {
            ends.push_back(i);
            starts.push_back(i + 1);
        }
    }
    ends.push_back(path.size());
    for (const std::string& glob : excludes) {
        for (std::size_t a = 0; a < starts.size(); ++a) {
            for (std::size_t b = a; b < ends.size(); ++b) {
                if (ends[b] < starts[a]) continue;
                if (glob_match(glob, std::string_view(path).substr(starts[a], ends[b] - starts[a]))) return true;
            }
        }
    }
    return false;
}

std::vector<Found> find_pages(const std::vector<std::string>& paths, const std::vector<std::string>& excludes) {
    std::vector<Found> found;
    for (const std::string& path : paths) {
        if (excluded(path, excludes)) continue;
        int error = 0;
        switch (kind_of(path, error)) {
            case PathKind::kFolder: walk(path, excludes, found); break;
            case PathKind::kMissing: found.push_back({path, "cannot read: " + system_reason(error)}); break;
            case PathKind::kOther: found.push_back({path, "cannot read: not a regular file"}); break;
            case PathKind::kFile:
                if (!is_backup_name(path)) found.push_back({path, ""});
                break;
        }
    }
    return found;
}

}  // namespace zorbel::fmt
