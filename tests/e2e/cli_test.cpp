// The built program on the command line: usage, statuses and streams.
#include <gtest/gtest.h>

#include <string>
#include <filesystem>
#include <vector>

#include "support/test_support.h"

namespace zorbel {
namespace {

using test::run_zorbel;

TEST(Cli, UsageAndStatus17) {
    const std::string usage = test::read_file(test::fixture_path("usage_margin_70.txt"));
    test::ScratchDir dir;
    const std::vector<std::vector<std::string>> lines = {{}, {"-?"}, {"/?"}, {"-C", "x.htm"}, {"-k", "--"}};
    for (const auto& args : lines) {
        auto got = run_zorbel(args, dir.path());
        EXPECT_EQ(got.status, 17) << testing::PrintToString(args);
        EXPECT_EQ(got.out, usage) << testing::PrintToString(args);
        EXPECT_EQ(got.err, "") << testing::PrintToString(args);
    }
    auto margin = run_zorbel({"-w-5", "-?"}, dir.path());
    EXPECT_EQ(margin.status, 17);
    EXPECT_NE(margin.out.find("\n-w4294967291   wrap margin (default)\n"), std::string::npos);
}

TEST(Cli, NoMatchIsReportedAndTheRunSucceeds) {
    test::ScratchDir dir;
    auto got = run_zorbel({"--", "nothing*.htm", "a?.htm", "-x.htm"}, dir.path());
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "no nothing*.htm\nno a?.htm\nno -x.htm\n");
    EXPECT_EQ(got.out, "");
}

#ifdef _WIN32
// Names that differ only in case are one name here, and the search yields
// the names in the order of the file system (NTFS and Wine: without regard
// to case).
TEST(Cli, SkipsOtherFilesInSearchOrderWithBareNames) {
    test::ScratchDir dir;
    for (const char* name : {"b.txt", "a.txt", "C.txt"}) test::write_file(dir.file(name), "x");
    std::filesystem::create_directory(dir.file("d.txt"));
    auto got = run_zorbel({"*.txt"}, dir.path());
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err,
              "Skipped non-html file \"a.txt\"\n"
              "Skipped non-html file \"b.txt\"\n"
              "Skipped non-html file \"C.txt\"\n");
    EXPECT_EQ(test::list_dir(dir.path()), (std::vector<std::string>{"C.txt", "a.txt", "b.txt", "d.txt"}));
}
#else
TEST(Cli, SkipsOtherFilesInByteOrderWithBareNames) {
    test::ScratchDir dir;
    for (const char* name : {"b.txt", "a.txt", "B.txt", ".hidden.txt"}) test::write_file(dir.file(name), "x");
    std::filesystem::create_directory(dir.file("c.txt"));
    auto got = run_zorbel({"*.txt"}, dir.path());
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err,
              "Skipped non-html file \"B.txt\"\n"
              "Skipped non-html file \"a.txt\"\n"
              "Skipped non-html file \"b.txt\"\n");
    EXPECT_EQ(test::list_dir(dir.path()), (std::vector<std::string>{".hidden.txt", "B.txt", "a.txt", "b.txt", "c.txt"}));
}
#endif

// The question is answered with one byte from standard input. A backup
// file that is accepted there is still left alone.
TEST(Cli, QuestionAnsweredThroughAPipe) {
    const std::string question = "Process non-html file \"notes.b~k\" (Y/)? ";
    const struct { const char* keys; std::string err; } cases[] = {
        {"y", question + "Skipped backup file \"notes.b~k\"\n"},
        {"Y\n", question + "Skipped backup file \"notes.b~k\"\n"},
        {"n", question},
        {"\n", question},
        {"", question},
    };
    for (const auto& c : cases) {
        test::ScratchDir dir;
        test::write_file(dir.file("notes.b~k"), "keep me\n");
        auto got = run_zorbel({"-h", "notes.b~k"}, dir.path(), c.keys);
        EXPECT_EQ(got.status, 0) << c.keys;
        EXPECT_EQ(got.err, c.err) << c.keys;
        EXPECT_EQ(got.out, "") << c.keys;
        EXPECT_EQ(test::read_file(dir.file("notes.b~k")), "keep me\n");
        EXPECT_EQ(test::list_dir(dir.path()), std::vector<std::string>{"notes.b~k"});
    }
}

}  // namespace
}  // namespace zorbel
