// Wildcard matching and the directory search for plain files.
#include <gtest/gtest.h>

#include <string>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif
#include <filesystem>
#include <vector>

#include "platform/dir_search.h"
#include "support/test_support.h"

namespace zorbel {
namespace {

using Paths = std::vector<std::string>;

using test::all_matches;

TEST(WildcardMatch, Table) {
    const struct { const char* pattern; const char* name; bool match; } cases[] = {
        {"*", "a.htm", true},
        {"*", "", true},
        {"*.htm", ".htm", true},          // '*' also matches nothing
        {"*.htm", "a.html", false},
        {"*.htm*", "a.html", true},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYc d", false},
        {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},  // no blow-up
        {"?.htm", "a.htm", true},
        {"?.htm", ".htm", false},         // '?' takes exactly one byte
        {"?.htm", "ab.htm", false},
        {"??.htm", "\xc3\xa9.htm", true},  // a two-byte character is two bytes
        {"a.htm", "A.htm", false},        // case counts
        {"a.HTM", "a.htm", false},
        {"a[1].htm", "a[1].htm", true},   // brackets are plain bytes
        {"[a].htm", "a.htm", false},
        {"a\\*.htm", "a\\x.htm", true},   // backslash escapes nothing
        {"a\\*.htm", "a*.htm", false},
        {"", "", true},
        {"", "a", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
    }
}

#ifndef _WIN32
// A directory holding every kind of entry the search must tell apart (the
// search of Windows has its own tests).
class DirSearch : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"b.htm", "a.htm", "B.htm", "\xc3\xa9.htm", "a[1].htm", "x.txt", ".hidden.htm"}) {
            test::write_file(dir.file(name), "x");
        }
        ASSERT_EQ(::mkdir(dir.file("sub.htm").c_str(), 0755), 0);
        test::write_file(dir.file("sub.htm/inner.htm"), "x");
        ASSERT_EQ(::symlink("a.htm", dir.file("link.htm").c_str()), 0);
        ASSERT_EQ(::symlink("missing.htm", dir.file("dangling.htm").c_str()), 0);
        ASSERT_EQ(::symlink("sub.htm", dir.file("dirlink.htm").c_str()), 0);
        ASSERT_EQ(::mkfifo(dir.file("fifo.htm").c_str(), 0644), 0);
        make_socket(dir.file("sock.htm"));
    }
    void TearDown() override {
        if (sock_ >= 0) ::close(sock_);
    }
    void make_socket(const std::string& path) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof addr.sun_path);
        path.copy(addr.sun_path, path.size());
        sock_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(sock_, 0);
        ASSERT_EQ(::bind(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    }
    test::ScratchDir dir;
    int sock_ = -1;
};

TEST_F(DirSearch, YieldsRegularFilesInByteOrder) {
    const std::string p = dir.path() + "/";
    const struct { const char* pattern; Paths names; } cases[] = {
        // Hidden names, directories, dangling links, links to directories,
        // FIFOs and sockets are passed over; a link to a file is a file.
        {"*.htm", {"B.htm", "a.htm", "a[1].htm", "b.htm", "link.htm", "\xc3\xa9.htm"}},
        {"*", {"B.htm", "a.htm", "a[1].htm", "b.htm", "link.htm", "x.txt", "\xc3\xa9.htm"}},
        {"?.htm", {"B.htm", "a.htm", "b.htm"}},
        {"a[1].htm", {"a[1].htm"}},
        {"b.htm", {"b.htm"}},
        {"sub.htm/*", {"sub.htm/inner.htm"}},
        {"dirlink.htm/inner.htm", {"dirlink.htm/inner.htm"}},
        {"sub.htm", {}},                  // a directory is not searched
        {"sub.htm/", {}},
        {".hidden.htm", {}},
        {".*", {}},
        {"dangling.htm", {}},
        {"fifo.htm", {}},
        {"sock.htm", {}},
        {"nowhere/*.htm", {}},
        {"*/inner.htm", {}},              // no wildcards in a directory part
    };
    for (const auto& c : cases) {
        Paths want;
        for (const auto& name : c.names) want.push_back(p + name);
        EXPECT_EQ(all_matches(p + c.pattern), want) << c.pattern;
    }
}

TEST_F(DirSearch, ListsMatchesWhenTheSearchStarts) {
    FileSearch search(dir.file("*.htm"));
    // Files made while the batch runs (backups, work files, new pages) are
    // not met by the search that is already going.
    test::write_file(dir.file("AAA.htm"), "x");
    Paths seen;
    while (auto path = search.next_match()) seen.push_back(*path);
    EXPECT_EQ(seen.front(), dir.file("B.htm"));
    EXPECT_EQ(seen.size(), 6u);
    EXPECT_FALSE(search.next_match());
}

// The system's path limit holds on Windows; POSIX has no such small one.
TEST(DirSearchPaths, NoFixedPathLengthLimit) {
    test::ScratchDir dir;
    std::string deep = dir.path();
    for (int i = 0; i < 4; ++i) {
        deep += "/" + std::string(120, static_cast<char>('d' + i));
        ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0);
    }
    test::write_file(deep + "/page.htm", "x");
    ASSERT_GT(deep.size(), 480u);
    EXPECT_EQ(all_matches(deep + "/*.htm"), Paths{deep + "/page.htm"});
}
#endif

TEST(DirSearchPaths, BarePatternSearchesTheCurrentDirectory) {
    test::ScratchDir dir;
    test::write_file(dir.file("a.htm"), "x");
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const Paths bare = all_matches("*.htm");
    const Paths dotted = all_matches("./*.htm");
    std::filesystem::current_path(old);
    EXPECT_EQ(bare, Paths{"a.htm"});
    EXPECT_EQ(dotted, Paths{"./a.htm"});
}


}  // namespace
}  // namespace zorbel
