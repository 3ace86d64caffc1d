// What the zorbel-fmt tests share: a folder's whole content as one value,
// files made from such a value, and the program run in a folder.
#pragma once

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace zorbel::test {

// Every entry under a folder, hidden ones included, by its path relative to
// the folder ('/' between parts): a file's bytes, "-> TARGET" for a
// symbolic link, "/" for a folder.
using Tree = std::map<std::string, std::string>;

inline Tree snapshot(const std::string& root) {
    Tree tree;
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().lexically_relative(root).generic_string();
        if (it->is_symlink()) {
            tree[name] = "-> " + fs::read_symlink(it->path()).generic_string();
        } else if (it->is_directory()) {
            tree[name] = "/";
        } else {
            tree[name] = read_file(it->path().string());
        }
    }
    return tree;
}

// Makes the entries of a tree under root: files, folders, and links where
// the platform has them (the caller leaves links out elsewhere).
inline void make_tree(const std::string& root, const Tree& tree) {
    namespace fs = std::filesystem;
    for (const auto& [name, content] : tree) {
        const fs::path path = fs::path(root) / name;
        fs::create_directories(path.parent_path());
        if (content == "/") {
            fs::create_directories(path);
        } else if (content.rfind("-> ", 0) == 0) {
            fs::create_symlink(content.substr(3), path);
        } else {
            write_file(path.string(), content);
        }
    }
}

inline ProcessResult run_fmt(const std::vector<std::string>& args, const std::string& cwd,
                             const std::string& stdin_text = "") {
    return run_program(zorbel_fmt_binary(), args, cwd, stdin_text);
}

// A page of the markup the passes act on, drawn from rng: paragraphs,
// indentation, trailing blanks, empty lines, LF and CR LF line ends, quotes,
// apostrophes, &nbsp;, long runs that wrap, no-wrap regions, links, a
// preformatted block, stamps, 8-bit bytes, and now and then no final line
// end.
inline std::string random_page(std::mt19937& rng) {
    static const char* const kPieces[] = {
        "<p>", "</p>", "  ", "\t", " ", "\n", "\r\n", "\n\n", "  \n", "word", "other words here", "\"", "'",
        "&nbsp;", "\n&nbsp;", "<a href=\"x.htm\"> link</a>", "<!-- ZBLDONTWRAP -->", "<pre>\n  code\n\n</pre>",
        "<!-- $ZBL$:DATETIME -->old<!-- $ZBL$:CLOSE -->", "\xe9t\xe9 \xff\x80", "<br>", "<b>bold</b>",
        "a-rather-long-word-that-needs-a-line-of-its-own-when-it-comes-near-the-margin", "\n    indented text"};
    std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> count(1, 120);
    std::string page;
    for (int n = count(rng); n > 0; --n) page += kPieces[piece(rng)];
    if (rng() % 4 != 0) page += "\n";
    return page;
}

}  // namespace zorbel::test
