// What only the Windows build has: the system's directory search with its
// attributes and case rules, drive letters and both separators, the replace
// sequence with read-only and busy pages, and bytes that a text-mode stream
// would change.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cleanup/line_pass.h"
#include "cli/batch.h"
#include "platform/byte_io.h"
#include "platform/dir_search.h"
#include "platform/files.h"
#include "rewrite/rewrite_pass.h"
#include "support/page_files.h"
#include "workfiles/work_files.h"

namespace zorbel {
namespace {

using test::exit_status_of;
using test::InDirectory;
using test::list_dir;
using test::read_file;
using test::ScratchDir;
using test::write_file;

using Paths = std::vector<std::string>;

using test::all_matches;

std::string full_path(const std::string& path) {
    char buf[MAX_PATH];
    const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, buf, nullptr);
    return std::string(buf, n);
}

DWORD attributes_of(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

bool read_only(const std::string& path) {
    const DWORD a = attributes_of(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

// The two passes of the tool run in memory over the same bytes: what the
// program must leave in a file it processed.
std::string both_passes_in_memory(const std::string& page) {
    StringSource lines_in(page);
    StringSink lines_out;
    const LineStreamResult lines = strip_lines_stream(lines_in, lines_out, true, kDefaultBlockSize);
    const std::string between = lines.stripped ? lines_out.data.substr(0, lines.out_length) : page;
    StringSource rewrite_in(between);
    StringSink rewrite_out;
    const RewriteOutcome outcome = rewrite_stream(rewrite_in, rewrite_out, Options{}, CarriedState{}, local_now);
    return outcome.changed ? rewrite_out.data : between;
}

class WindowsSearch : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"b.htm", "A.HTM", "hidden.htm", "system.htm", "locked.htm", "archived.htm"}) {
            write_file(dir.file(name), "x");
        }
        std::filesystem::create_directory(dir.file("sub.htm"));
        write_file(dir.file("sub.htm/inner.htm"), "x");
        ASSERT_TRUE(::SetFileAttributesA(dir.file("hidden.htm").c_str(), FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(::SetFileAttributesA(dir.file("system.htm").c_str(), FILE_ATTRIBUTE_SYSTEM));
        ASSERT_TRUE(::SetFileAttributesA(dir.file("locked.htm").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(::SetFileAttributesA(dir.file("archived.htm").c_str(), FILE_ATTRIBUTE_ARCHIVE));
    }
    ScratchDir dir;
};

TEST_F(WindowsSearch, AttributesAndCaseDecideWhatMatches) {
    const std::string root = full_path(dir.path());  // C:\...\zorbel-test-...
    const std::string slash = dir.path() + "/";
    const struct {
        std::string pattern;
        Paths want;
    } cases[] = {
        // Hidden, system and directory entries are passed over; read-only
        // and archived files are files like any other.
        {slash + "*.htm", {slash + "A.HTM", slash + "archived.htm", slash + "b.htm", slash + "locked.htm"}},
        // Case does not count, and the path carries the name as the
        // directory holds it.
        {slash + "a.htm", {slash + "A.HTM"}},
        {slash + "B.HTM", {slash + "b.htm"}},
        {slash + "?.HtM", {slash + "A.HTM", slash + "b.htm"}},
        {slash + "hidden.htm", {}},
        {slash + "system.htm", {}},
        {slash + "sub.htm", {}},
        // Either separator, a drive, and the pattern's own text kept as given.
        {root + "\\sub.htm\\*.htm", {root + "\\sub.htm\\inner.htm"}},
        {root + "/sub.htm/*", {root + "/sub.htm/inner.htm"}},
        {root + "\\sub.htm/INNER.*", {root + "\\sub.htm/inner.htm"}},
        {root + "\\nowhere\\*.htm", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(all_matches(c.pattern), c.want) << c.pattern;
}

TEST_F(WindowsSearch, RelativeAndDriveRelativePatterns) {
    InDirectory here(dir.path());
    ASSERT_TRUE(here.ok());
    const std::string drive = full_path(".").substr(0, 2);  // "C:", the current directory's drive
    EXPECT_EQ(all_matches("sub.htm\\*.htm"), Paths{"sub.htm\\inner.htm"});
    EXPECT_EQ(all_matches(".\\B.htm"), Paths{".\\b.htm"});
    EXPECT_EQ(all_matches(drive + "b.htm"), Paths{drive + "b.htm"});
    EXPECT_EQ(all_matches(drive + "sub.htm\\i*"), Paths{drive + "sub.htm\\inner.htm"});
    // Longer than the system's path limit: no match, and nothing cut short.
    EXPECT_EQ(all_matches(std::string(400, 'x') + "\\*.htm"), Paths{});
}

TEST(WindowsPaths, BothSeparatorsAndDrives) {
    const struct {
        const char* path;
        const char* backup;
        bool html;
    } cases[] = {
        {"C:\\web\\index.html", "C:\\web\\index.b~k", true},
        {"C:/web/index.HTM", "C:/web/index.b~k", true},
        {"C:page.htm", "C:page.b~k", true},
        {"C:\\web.htm\\README", "C:\\web.htm\\README.b~k", false},
        {"web.d/sub\\page", "web.d/sub\\page.b~k", false},
        {"\\\\server\\share\\dir\\a.b.html", "\\\\server\\share\\dir\\a.b.b~k", true},
    };
    StringConsole console;
    Invocation run(console);
    for (const auto& c : cases) {
        EXPECT_EQ(backup_name(c.path), c.backup) << c.path;
        EXPECT_EQ(accept_html_name(run, c.path), c.html ? 1 : 0) << c.path;
    }
    EXPECT_EQ(directory_of("C:\\web\\index.html"), "C:\\web");
    EXPECT_EQ(directory_of("C:\\index.html"), "C:\\");
    EXPECT_EQ(directory_of("C:index.html"), "C:");
    EXPECT_EQ(directory_of("\\\\server\\share\\a.htm"), "\\\\server\\share");
    EXPECT_EQ(directory_of("index.html"), ".");
}

TEST(WindowsPaths, EveryNameOfAFileResolvesToOneString) {
    ScratchDir dir;
    write_file(dir.file("Page.htm"), "x");
    InDirectory here(dir.path());
    int error = 0;
    const std::string canonical = resolve_path("Page.htm", error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(canonical, full_path("Page.htm"));
    for (const std::string& name : {std::string("PAGE.HTM"), std::string("page.htm"), std::string(".\\Page.htm"),
                                    std::string("./pAgE.htm"), full_path("page.htm")}) {
        EXPECT_EQ(resolve_path(name, error), canonical) << name;
    }
    EXPECT_EQ(resolve_path("missing.htm", error), "");
    EXPECT_EQ(error, ENOENT);
}

struct WindowsReplace : ::testing::Test {
    ScratchDir dir;
    StringConsole console;

    // Both passes over the page, as one run of the tool.
    int both_passes(const std::string& path) {
        Invocation run{console};
        run.pipeline.one_step = false;
        InDirectory here(dir.path());
        EXPECT_TRUE(here.ok());
        const PassResult lines = run.pipeline.strip_lines(path);
        int status = test::report_status(run, path, PageOutcome{lines.committed, false, lines.error});
        if (status != 0) return status;
        return test::rewrite_reported(run, path, lines.committed);
    }
};

TEST_F(WindowsReplace, ReadOnlyPageAndItsBackupStayReadOnly) {
    write_file(dir.file("page.htm"), "<p>\"a\"  \n\n");
    ASSERT_TRUE(::SetFileAttributesA(dir.file("page.htm").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(both_passes("page.htm"), 0);

    EXPECT_EQ(console.err_text, "");
    EXPECT_EQ(read_file(dir.file("page.htm")), "<p>&#147;a&#148;\r\n");
    EXPECT_EQ(read_file(dir.file("page.b~k")), "<p>\"a\"  \n\n");
    EXPECT_TRUE(read_only(dir.file("page.htm")));
    EXPECT_TRUE(read_only(dir.file("page.b~k")));
    EXPECT_EQ(list_dir(dir.path()), (Paths{"page.b~k", "page.htm"}));

    // A later run: the read-only backup of the last one gives way to the new one.
    ASSERT_TRUE(::SetFileAttributesA(dir.file("page.htm").c_str(), FILE_ATTRIBUTE_NORMAL));
    write_file(dir.file("page.htm"), "<p>'b' \n");
    ASSERT_TRUE(::SetFileAttributesA(dir.file("page.htm").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(both_passes("page.htm"), 0);
    EXPECT_EQ(read_file(dir.file("page.htm")), "<p>&#146;b&#146;\r\n");
    EXPECT_EQ(read_file(dir.file("page.b~k")), "<p>'b' \n");
    EXPECT_TRUE(read_only(dir.file("page.htm")));
    EXPECT_TRUE(read_only(dir.file("page.b~k")));
}

// Another program holds the page open. Where it lets others read, the
// passes run but the replace is refused: status 3, the page as it was, no
// work file. Where it lets no one in, the page cannot even be opened.
TEST_F(WindowsReplace, PageHeldOpenByAnotherProgramIsLeftAsItWas) {
    const std::string old_content = "<p>a  \n\n";
    const struct {
        DWORD share;
        std::string message;
    } cases[] = {
        {FILE_SHARE_READ, "couldn't replace page.htm.\n"},
        {0, "couldn't open page.htm for r."},
    };
    for (const auto& c : cases) {
        ScratchDir d;
        write_file(d.file("page.htm"), old_content);
        const HANDLE held = ::CreateFileA(d.file("page.htm").c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        StringConsole cons;
        Invocation r(cons);
        int status = 0;
        {
            InDirectory here(d.path());
            status = test::strip_reported(r, "page.htm");
        }
        ::CloseHandle(held);

        EXPECT_EQ(status, 3) << c.share;
        EXPECT_EQ(cons.err_text, c.message);
        EXPECT_EQ(cons.out_text, "");
        EXPECT_EQ(read_file(d.file("page.htm")), old_content);
        for (const auto& name : list_dir(d.path())) {
            EXPECT_EQ(name.find("~.Z~B"), std::string::npos) << name;
            if (name == "page.b~k") {
                EXPECT_EQ(read_file(d.file(name)), old_content);
            }
        }
    }
}

// Names that differ only in case are one name: a page named twice so keeps
// its first backup, and a page whose backup name differs from another's only
// in case is left alone.
TEST(WindowsRuns, SpellingsOfOneNameAreOneNameWithinARun) {
    ScratchDir dir;
    // The wrap at the second of two blanks leaves a trailing blank for the
    // line pass of the second visit, so that visit changes the page too.
    const std::string page = "<p>\"one\"</p>  \n" + std::string(69, 'x') + "  y\n", other = "<p>\"two\"</p>  \n";
    write_file(dir.file("Index.htm"), page);
    write_file(dir.file("index.html"), other);

    const test::ProcessResult got = test::run_zorbel({"Index.htm", "INDEX.HTM", "index.html"}, dir.path());

    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out,
              "Removed trailing spaces/emtpy lines from Index.htm\nUpdated Index.htm\n"
              "Removed trailing spaces/emtpy lines from Index.htm\n");  // the name as the directory holds it
    EXPECT_EQ(got.err, "Skipped \"index.html\": index.b~k holds the backup of Index.htm\n");
    EXPECT_EQ(read_file(dir.file("Index.b~k")), page);
    EXPECT_EQ(read_file(dir.file("index.html")), other);
    EXPECT_EQ(list_dir(dir.path()), (Paths{"Index.b~k", "Index.htm", "index.html"}));
}

// Ctrl-Z, lone CRs and CR LF pairs go through the program's files and
// streams unchanged, and the one-key question reads Ctrl-Z as a key like any
// other: nothing ends a stream early or turns one line end into another.
TEST(WindowsBytes, CtrlZAndLoneCarriageReturnsStayBytes) {
    ScratchDir dir;
    const std::string page =
        "<p>one\x1a two \"q\"  \rthree\r\n\r\n\x1a\x1a<p>it's\r\r\n  <p>end\x1a";
    write_file(dir.file("page.htm"), page);
    write_file(dir.file("note.txt"), "<p>\"x\"\x1a\n");
    write_file(dir.file("other.txt"), "<p>\"y\" \n");

    const test::ProcessResult got = test::run_zorbel({"-h", "page.htm", "--", "*.txt"}, dir.path(), "\x1ay");

    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(read_file(dir.file("page.htm")), both_passes_in_memory(page));
    EXPECT_EQ(read_file(dir.file("page.b~k")), page);
    EXPECT_EQ(read_file(dir.file("note.txt")), "<p>\"x\"\x1a\n");  // declined with Ctrl-Z
    EXPECT_EQ(read_file(dir.file("other.txt")), "<p>&#147;y&#148;\r\n");
    EXPECT_EQ(got.out,
              "Removed trailing spaces/emtpy lines from page.htm\n"
              "Updated page.htm\n"
              "Removed trailing spaces/emtpy lines from other.txt\n"
              "Updated other.txt\n");
    EXPECT_EQ(got.err,
              "Process non-html file \"note.txt\" (Y/)? "
              "Process non-html file \"other.txt\" (Y/)? ");
}

// The C runtime hands the arguments over as typed: a wildcard in a
// directory part reaches the program, which does not expand it.
TEST(WindowsBytes, ArgumentsAreNotExpandedByTheRuntime) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    write_file(dir.file("sub/x.htm"), "<p>\"a\"\n");

    const test::ProcessResult got = test::run_zorbel({"--", "s*\\x.htm", "s?b\\*.htm"}, dir.path());

    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "no s*\\x.htm\nno s?b\\*.htm\n");
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(read_file(dir.file("sub/x.htm")), "<p>\"a\"\n");
}

}  // namespace
}  // namespace zorbel
