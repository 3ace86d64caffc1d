// zorbel-fmt on many generated pages: one round is zorbel's one round,
// settled output is a fixed point of zorbel, and the number of jobs
// changes nothing but the speed.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fmt/fmt_support.h"
#include "zorbel/zorbel.h"

namespace zorbel {
namespace {

using test::Tree;

Tree random_pages(unsigned seed, int count, const std::string& folder = "") {
    std::mt19937 rng(seed);
    Tree pages;
    for (int i = 0; i < count; ++i) pages[folder + "p" + std::to_string(i) + ".htm"] = test::random_page(rng);
    return pages;
}

TEST(FmtPages, OnceIsZorbelsOneRoundForEachPage) {
    const Tree pages = random_pages(1, 60);
    test::ScratchDir dir;
    test::make_tree(dir.file("fmt"), pages);
    const test::ProcessResult fmt = test::run_fmt({"--once", "--no-keep-verbatim", "--no-stamps", "."}, dir.file("fmt"));
    ASSERT_EQ(fmt.status, 0) << fmt.err;
    const Tree after = test::snapshot(dir.file("fmt"));
    int changed = 0;
    for (const auto& [name, page] : pages) {
        SCOPED_TRACE(name);
        // The library with the program's own defaults, from a fresh start.
        PageOptions options;
        options.datetime_stamps = false;
        const TidiedPage tidied = tidy_page(page, options);
        ASSERT_EQ(tidied.error, PageError::kNone);
        EXPECT_EQ(after.at(name), tidied.bytes);
        changed += tidied.changed();
    }
    EXPECT_GT(changed, 40);
    // And the built zorbel, one page per run so that nothing carries over.
    int compared = 0;
    for (const auto& [name, page] : pages) {
        if (++compared > 8) break;
        test::ScratchDir one;
        test::write_file(one.file(name), page);
        const test::ProcessResult zorbel = test::run_zorbel({"-y-", name}, one.path());
        ASSERT_EQ(zorbel.status, 0) << zorbel.err;
        EXPECT_EQ(test::read_file(one.file(name)), after.at(name)) << name;
    }
}

TEST(FmtPages, SettledOutputIsAFixedPointOfZorbel) {
    test::ScratchDir dir;
    test::make_tree(dir.path(), random_pages(2, 60));
    const test::ProcessResult fmt = test::run_fmt({"--no-backup", "--no-keep-verbatim", "--no-stamps", "."}, dir.path());
    ASSERT_EQ(fmt.status, 0) << fmt.err;
    const Tree settled = test::snapshot(dir.path());

    const test::ProcessResult check = test::run_fmt({"--check", "--no-keep-verbatim", "--no-stamps", "."}, dir.path());
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.out, "");
    const test::ProcessResult zorbel = test::run_zorbel({"-y-", "--", "*.htm"}, dir.path());
    EXPECT_EQ(zorbel.status, 0) << zorbel.err;
    EXPECT_EQ(zorbel.out, "");
    EXPECT_EQ(test::snapshot(dir.path()), settled);
    // Page by page through the library too, each from a fresh start.
    PageOptions options;
    options.datetime_stamps = false;
    for (const auto& [name, page] : settled) {
        const TidiedPage again = tidy_page(page, options);
        EXPECT_FALSE(again.changed()) << name;
    }
}

TEST(FmtPages, AnyNumberOfJobsGivesWhatOneJobGives) {
    // Pages in several folders, some sharing backup names, some that fail
    // with --strict-quotes.
    Tree pages = random_pages(3, 40, "a/");
    for (const auto& [name, page] : random_pages(4, 40, "b/c/")) pages[name] = page;
    for (int i = 0; i < 10; ++i) pages["a/p" + std::to_string(i) + ".html"] = pages["a/p" + std::to_string(i + 10) + ".htm"];
    pages["b/bad.htm"] = "<p>\"open\n";
    const std::vector<std::vector<std::string>> modes = {
        {}, {"--check"}, {"--diff"}, {"--strict-quotes"}, {"--once", "--check"}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.empty() ? "in place" : mode[0]);
        Tree trees[2];
        test::ProcessResult runs[2];
        for (int i = 0; i < 2; ++i) {
            test::ScratchDir dir;
            test::make_tree(dir.path(), pages);
            std::vector<std::string> args = mode;
            args.insert(args.end(), {"--no-stamps", i == 0 ? "--jobs=1" : "--jobs=7", "a", "b"});
            runs[i] = test::run_fmt(args, dir.path());
            trees[i] = test::snapshot(dir.path());
        }
        EXPECT_EQ(runs[1].out, runs[0].out);
        EXPECT_EQ(runs[1].err, runs[0].err);
        EXPECT_EQ(runs[1].status, runs[0].status);
        EXPECT_EQ(trees[1], trees[0]);
        EXPECT_FALSE(runs[0].out.empty() && trees[0] == pages);
    }
}

}  // namespace
}  // namespace zorbel
