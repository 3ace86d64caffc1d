// A batch of a few hundred pages, run again and again under the built
// program and killed with SIGKILL at a random moment each time. After every
// kill each page holds its original content, or the content after both
// passes with the original in its backup: both passes run in one stream
// into one work file, so the line pass's output alone never reaches the
// page. Nothing is missing, nothing is partial.
//
// ZORBEL_CRASH_ROUNDS (default 12) and ZORBEL_CRASH_SEED (default 1) make
// longer runs on request; scripts/crash-test sets them.
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "reliability/child_process.h"
#include "reliability/tree_snapshot.h"
#include "support/test_support.h"

namespace zorbel {
namespace {

using test::read_file;
using test::ScratchDir;
using test::write_file;

unsigned long env_number(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoul(text, nullptr, 10) : fallback;
}

// A page the tool changes (or not), built so that the processed page is
// processed again to itself: short lines, paired quotes within a paragraph.
std::string make_page(std::mt19937& random, int index) {
    const int kind = index % 5;
    // Most pages are small; every 25th is large so a kill often lands
    // mid-write, and two are larger than the new content held in memory.
    const int paragraphs = index % 150 == 75   ? 30000
                           : index % 25 == 0 ? 3000
                                             : 20 + static_cast<int>(random() % 80);
    std::string page = "<html><body>\n";
    for (int p = 0; p < paragraphs; ++p) {
        page += "<p>Paragraph " + std::to_string(p) + " of page " + std::to_string(index);
        if (kind == 1) page += "  ";                       // trailing blanks
        page += "\n";
        if (kind == 2) page += "\n   \n";                  // blank lines
        if (kind == 3) page += "He said \"yes\" and left.\n";  // quotes
        if (kind == 4) page += "  It's indented.\t\n";     // indent, apostrophe, tab
        page += "Some more text here.\n";
    }
    return page + "</body></html>\n";
}

struct Page {
    std::string name, original, processed;
};

// What a page may hold after a kill, and what its backup must hold then.
void expect_whole_stage(const std::string& dir, const Page& page, const std::string& what) {
    const std::string path = dir + "/" + page.name;
    const std::string backup = path.substr(0, path.size() - 4) + ".b~k";
    ASSERT_TRUE(test::file_exists(path)) << what << ": " << page.name << " is missing";
    const std::string now = read_file(path);
    if (now == page.original) {
        // The backup link may already stand when the kill came before the rename.
        if (test::file_exists(backup)) {
            EXPECT_EQ(read_file(backup), page.original) << what << ": " << page.name;
        }
        return;
    }
    EXPECT_EQ(now, page.processed) << what << ": " << page.name << " is neither its original nor its result";
    ASSERT_TRUE(test::file_exists(backup)) << what << ": " << page.name << " changed without a backup";
    EXPECT_EQ(read_file(backup), page.original) << what << ": backup of " << page.name;
}

TEST(CrashSafety, KilledBatchesLeaveEveryPageWhole) {
    const unsigned long rounds = env_number("ZORBEL_CRASH_ROUNDS", 12);
    std::mt19937 random(static_cast<std::mt19937::result_type>(env_number("ZORBEL_CRASH_SEED", 1)));
    constexpr int kPages = 300;

    ScratchDir root;
    const std::string pristine = root.file("pristine");
    std::filesystem::create_directory(pristine);
    std::vector<Page> pages;
    for (int i = 0; i < kPages; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "page%03d.htm", i);
        Page page{name, make_page(random, i), ""};
        write_file(pristine + "/" + name, page.original);
        pages.push_back(page);
    }

    // The oracle: the tool itself, run once to its end on a copy.
    const std::string oracle = root.file("oracle");
    std::filesystem::copy(pristine, oracle);
    const auto start = std::chrono::steady_clock::now();
    test::ChildEnd full = test::run_child({"--", "*.htm"}, oracle, {.quiet = true});
    const auto whole_run = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(full.status, 0);
    for (auto& page : pages) page.processed = read_file(oracle + "/" + page.name);
    const int changed = static_cast<int>(
        std::count_if(pages.begin(), pages.end(), [](const Page& p) { return p.processed != p.original; }));
    int mid_batch = 0;  // kills that met a batch half done
    const long window_us =
        std::chrono::duration_cast<std::chrono::microseconds>(whole_run).count() * 11 / 10 + 1;

    for (unsigned long round = 0; round < rounds; ++round) {
        const std::string dir = root.file("round");
        std::filesystem::remove_all(dir);
        std::filesystem::copy(pristine, dir);
        const long delay_us = static_cast<long>(random() % static_cast<unsigned long>(window_us));
        const std::string what = "round " + std::to_string(round) + ", kill after " + std::to_string(delay_us) + " us";
        {
            test::Child child({"--", "*.htm"}, dir, {.quiet = true});
            timespec pause{delay_us / 1000000, (delay_us % 1000000) * 1000};
            ::nanosleep(&pause, nullptr);
            child.kill_now();
            child.finish();
        }
        int done = 0;
        for (const auto& page : pages) {
            expect_whole_stage(dir, page, what);
            done += page.processed != page.original && read_file(dir + "/" + page.name) != page.original;
        }
        if (HasFailure()) return;
        mid_batch += done > 0 && done < changed;

        // A later run over what the killed one left (work files included)
        // ends with every page processed.
        test::ChildEnd again = test::run_child({"--", "*.htm"}, dir, {.quiet = true});
        ASSERT_EQ(again.status, 0) << what;
        for (const auto& page : pages) {
            ASSERT_EQ(read_file(dir + "/" + page.name), page.processed) << what << ", run again: " << page.name;
        }
    }
    std::cout << rounds << " rounds, " << mid_batch << " killed mid-batch; whole run "
              << window_us * 10 / 11 << " us\n";
}

}  // namespace
}  // namespace zorbel
