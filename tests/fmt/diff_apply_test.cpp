// zorbel-fmt with the shell's tools: --diff applied with the real patch -p1
// and git apply from the same folder gives exactly what the in-place mode
// writes (CR LF, missing final line ends and 8-bit bytes included), and a
// file given as standard input is read from where it stands.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "fmt/fmt_support.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
using test::Tree;

// The pages without the diff and the backups.
Tree pages_of(const std::string& root) {
    Tree tree = test::snapshot(root);
    std::erase_if(tree, [](const auto& entry) {
        return entry.first == "changes.diff" || entry.first.ends_with(".b~k");
    });
    return tree;
}

test::ProcessResult shell(const std::string& command, const std::string& cwd) {
    return test::run_program("/bin/sh", {"-c", command}, cwd);
}

TEST(FmtDiffApply, PatchAndGitApplyGiveTheInPlaceResult) {
    std::mt19937 rng(20);
    test::ScratchDir dir;
    Tree pages;
    for (int i = 0; i < 40; ++i) pages["site/p" + std::to_string(i) + ".htm"] = test::random_page(rng);
    // Changes far apart, in one page: several hunks.
    std::string apart;
    for (int i = 0; i < 30; ++i) apart += i % 10 == 0 ? "  \"changed\"  \n" : "<p>kept line " + std::to_string(i) + "</p>\r\n";
    pages["site/apart.htm"] = apart;
    pages["site/no-final-end.htm"] = "<p>a</p>\r\n  b \"c\"";
    pages["site/tidy.htm"] = "<p>already tidy</p>\r\n";
    for (const char* copy : {"patched", "applied", "in-place"}) test::make_tree(dir.file(copy), pages);

    const test::ProcessResult diff =
        test::run_fmt({"--diff", "--no-keep-verbatim", "--no-stamps", "--color=always", "site"}, dir.file("patched"));
    ASSERT_EQ(diff.status, 0) << diff.err;
    ASSERT_EQ(diff.err, "");
    const test::ProcessResult plain =
        test::run_fmt({"--diff", "--no-keep-verbatim", "--no-stamps", "site"}, dir.file("patched"));
    ASSERT_NE(plain.out.find("@@"), std::string::npos);
    ASSERT_NE(plain.out.find("\\ No newline at end of file"), std::string::npos);
    ASSERT_EQ(plain.out.find("--- a/site/tidy.htm"), std::string::npos);
    test::write_file(dir.file("patched/changes.diff"), plain.out);
    test::write_file(dir.file("applied/changes.diff"), plain.out);

    const test::ProcessResult written =
        test::run_fmt({"--no-keep-verbatim", "--no-stamps", "site"}, dir.file("in-place"));
    ASSERT_EQ(written.status, 0) << written.err;
    const Tree expected = pages_of(dir.file("in-place"));
    ASSERT_NE(expected, pages);

    const test::ProcessResult patched = shell("patch -p1 --quiet < changes.diff", dir.file("patched"));
    EXPECT_EQ(patched.status, 0) << patched.out << patched.err;
    EXPECT_EQ(pages_of(dir.file("patched")), expected);
    const test::ProcessResult applied = shell("git apply --whitespace=nowarn changes.diff", dir.file("applied"));
    EXPECT_EQ(applied.status, 0) << applied.out << applied.err;
    EXPECT_EQ(pages_of(dir.file("applied")), expected);

    // The coloured diff differs only by its escapes.
    std::string uncoloured = diff.out;
    for (const char* escape : {"\x1b[1m", "\x1b[36m", "\x1b[31m", "\x1b[32m", "\x1b[m"}) {
        for (std::size_t at; (at = uncoloured.find(escape)) != std::string::npos;) {
            uncoloured.erase(at, std::string(escape).size());
        }
    }
    EXPECT_EQ(uncoloured, plain.out);
}

TEST(FmtFilter, AFileAsStandardInputIsReadFromWhereItStands) {
    test::ScratchDir dir;
    test::write_file(dir.file("in.htm"), "skipped line\n<p>\n  &nbsp;x \"q\"\n");
    const test::ProcessResult got =
        shell("{ read -r line; '" + test::zorbel_fmt_binary() + "'; } < in.htm", dir.path());
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, "<p>\nx &#147;q&#148;\n");
}

}  // namespace
}  // namespace zorbel
