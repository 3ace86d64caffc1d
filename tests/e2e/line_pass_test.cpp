#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace zorbel {
namespace {

using test::fixture_path;
using test::list_dir;
using test::read_file;
using test::run_zorbel;
using test::ScratchDir;

using Names = std::vector<std::string>;

// A folder of pages run through the whole tool: each changed page is
// stripped, reported once and backed up once; nothing else is left behind.
TEST(LinePassEndToEnd, FolderOfPagesIsStrippedWithOneBackupEach) {
    ScratchDir site;
    for (const char* name : {"ragged.htm", "clean.htm", "notes.txt"}) {
        std::filesystem::copy_file(fixture_path(std::string("line_pass/") + name), site.file(name));
    }

    test::ProcessResult first = run_zorbel({"--", "*.htm"}, site.path());

    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "Removed trailing spaces/emtpy lines from ragged.htm\n");
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(read_file(site.file("ragged.htm")), read_file(fixture_path("line_pass/ragged.expected")));
    EXPECT_EQ(read_file(site.file("ragged.b~k")), read_file(fixture_path("line_pass/ragged.htm")));
    EXPECT_EQ(read_file(site.file("clean.htm")), read_file(fixture_path("line_pass/clean.htm")));
    EXPECT_EQ(list_dir(site.path()), (Names{"clean.htm", "notes.txt", "ragged.b~k", "ragged.htm"}));

    // A second run finds nothing to do and keeps the backup of the first.
    test::ProcessResult second = run_zorbel({"--", "*.htm"}, site.path());
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(read_file(site.file("ragged.b~k")), read_file(fixture_path("line_pass/ragged.htm")));
    EXPECT_EQ(list_dir(site.path()), (Names{"clean.htm", "notes.txt", "ragged.b~k", "ragged.htm"}));
}

}  // namespace
}  // namespace zorbel
