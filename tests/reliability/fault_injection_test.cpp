// Faults made real around the built program: a disk that fills part-way, a
// directory that refuses the replace, a file it may not read, names and
// directories that change under it. Each run must end with its message and
// status and leave every file as it was (a faithful backup at most).
// In-process versions of the single-step faults live with the work files
// and the line pass; these drive the whole program through a batch.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "reliability/child_process.h"
#include "reliability/tree_snapshot.h"
#include "support/test_support.h"
#include "support/fs_test_tools.h"

namespace zorbel {
namespace {

using test::ChildSetup;
using test::ScratchDir;
using test::Tree;
using test::write_file;

// Every file as it was; a file that appeared is a backup of a page with the
// page's old content, and no work file is left anywhere.
void expect_nothing_lost(const Tree& before, const Tree& after, const std::string& what) {
    for (const auto& [path, content] : before) {
        auto it = after.find(path);
        ASSERT_NE(it, after.end()) << what << ": " << path << " is gone";
        EXPECT_EQ(it->second, content) << what << ": " << path << " changed";
    }
    for (const auto& [path, content] : after) {
        if (before.count(path)) continue;
        EXPECT_FALSE(test::is_work_file_name(path)) << what << ": work file " << path << " left";
        const std::string stem = path.substr(0, path.rfind('.'));
        bool faithful = false;
        for (const auto& [old_path, old_content] : before)
            faithful |= old_path.rfind(stem + ".", 0) == 0 && old_content == content;
        EXPECT_TRUE(faithful) << what << ": unexpected file " << path;
    }
}

std::string many_lines_with_trailing_blanks(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "<p>line " + std::to_string(i) + " of a long page  \n";
    return text;
}

// A fault set up in a fresh directory holding site/ (the pages) and work/
// (the current directory of the run). The run stops at the first file.
TEST(Faults, EveryFaultEndsTheRunWithItsMessageAndLosesNothing) {
    std::unique_ptr<test::InodeFlag> flag;
    struct Case {
        const char* what;
        std::function<bool(const ScratchDir&, ChildSetup&)> arrange;  // false: not possible here
        int status;
        std::string message;  // with the site directory's path for "@"
    } cases[] = {
        {"a write fails part-way (file size limit)",
         [](const ScratchDir& d, ChildSetup& setup) {
             write_file(d.file("site/a.htm"), many_lines_with_trailing_blanks(40000));
             setup.file_size_limit = 64 * 1024;
             return true;
         },
         3, "couldn't write @/a.htm.\n"},
        {"the directory refuses the replace (append-only)",
         [&](const ScratchDir& d, ChildSetup&) {
             write_file(d.file("site/a.htm"), "<p>a  \n");
             flag = std::make_unique<test::InodeFlag>(d.file("site"), FS_APPEND_FL);
             return flag->ok();
         },
         3, "couldn't replace @/a.htm.\n"},
        {"the file may not be read",
         [](const ScratchDir& d, ChildSetup& setup) {
             write_file(d.file("site/a.htm"), "<p>a  \n");
             ::chmod(d.file("site/a.htm").c_str(), 0);
             // Root reads anything: run the program as an unprivileged user.
             setup.as_nobody = ::geteuid() == 0;
             for (const char* dir : {"", "site", "work"}) ::chmod(d.file(dir).c_str(), 0777);
             return true;
         },
         3, "couldn't open @/a.htm for r."},
    };
    for (auto& c : cases) {
        ScratchDir d;
        ::mkdir(d.file("site").c_str(), 0755);
        ::mkdir(d.file("work").c_str(), 0755);
        write_file(d.file("site/b.htm"), "<p>b  \n");  // later in the batch: never reached
        ChildSetup setup;
        if (!c.arrange(d, setup)) {
            std::cerr << "not checked here: " << c.what << "\n";
            continue;
        }
        const Tree before = test::snapshot(d.path());

        test::ChildEnd end = test::run_child({"--", d.file("site/*.htm")}, d.file("work"), setup);
        flag.reset();

        std::string message = c.message;
        message.replace(message.find('@'), 1, d.file("site"));
        EXPECT_EQ(end.status, c.status) << c.what;
        EXPECT_EQ(end.err, message) << c.what;
        EXPECT_EQ(end.out, "") << c.what;
        expect_nothing_lost(before, test::snapshot(d.path()), c.what);
    }
}

// Names of work files taken by a symbolic link to the page itself and by a
// directory: neither is opened, followed or emptied.
TEST(Faults, WorkFileNamesTakenByALinkAndADirectoryAreLeftAlone) {
    ScratchDir d;
    write_file(d.file("page.htm"), "<p>a  \n");
    ASSERT_EQ(::symlink("page.htm", d.file("AAAAAAA~.Z~B").c_str()), 0);
    ASSERT_EQ(::mkdir(d.file("AAAAAAB~.Z~B").c_str(), 0755), 0);

    test::ChildEnd end = test::run_child({"page.htm"}, d.path());

    EXPECT_EQ(end.status, 0) << end.err;
    EXPECT_EQ(end.err, "");
    EXPECT_EQ(test::read_file(d.file("page.htm")), "<p>a\r\n");
    EXPECT_EQ(test::read_file(d.file("page.b~k")), "<p>a  \n");
    EXPECT_TRUE(std::filesystem::is_symlink(d.file("AAAAAAA~.Z~B")));
    EXPECT_EQ(std::filesystem::read_symlink(d.file("AAAAAAA~.Z~B")), "page.htm");
    EXPECT_TRUE(std::filesystem::is_directory(d.file("AAAAAAB~.Z~B")));
    EXPECT_EQ(test::list_dir(d.path()), (std::vector<std::string>{"AAAAAAA~.Z~B", "AAAAAAB~.Z~B", "page.b~k", "page.htm"}));
}

// Directories removed while the batch waits at the question about a.txt,
// which comes first in every search. Deterministic: the program is blocked
// on standard input while the directory goes. Paths are absolute ("@" is
// the scratch directory), since the current directory goes in one case.
TEST(Faults, DirectoriesThatVanishMidBatch) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* removed;
        int status;
        std::string err_after_question;
    } cases[] = {
        {"the directory of a later pattern", {"-h", "--", "@/s/a.txt", "@/t/*.htm"}, "t", 0, "no @/t/*.htm\n"},
        {"the directory of files already listed", {"-h", "--", "@/s/*"}, "s", 3, "couldn't open @/s/b.htm for r."},
        {"the current directory, where work files go", {"-h", "--", "@/s/*"}, "w", 3,
         "couldn't open AAAAAAA~.Z~B for w."},
    };
    for (const auto& c : cases) {
        ScratchDir d;
        auto at = [&](std::string text) {
            for (std::size_t i; (i = text.find('@')) != std::string::npos;) text.replace(i, 1, d.path());
            return text;
        };
        for (const char* dir : {"s", "t", "w"}) ::mkdir(d.file(dir).c_str(), 0755);
        write_file(d.file("s/a.txt"), "notes  \n");
        write_file(d.file("s/b.htm"), "<p>b  \n");
        write_file(d.file("t/c.htm"), "<p>c  \n");
        Tree before = test::snapshot(d.path());
        std::vector<std::string> args;
        for (const auto& a : c.args) args.push_back(at(a));
        const std::string question = at("Process non-html file \"@/s/a.txt\" (Y/)? ");

        test::Child child(args, d.file("w"));
        ASSERT_TRUE(child.wait_for_err(question)) << c.what;
        std::filesystem::remove_all(d.file(c.removed));
        child.write_stdin("n");
        test::ChildEnd end = child.finish();

        EXPECT_EQ(end.status, c.status) << c.what;
        EXPECT_EQ(end.err, question + at(c.err_after_question)) << c.what;
        EXPECT_EQ(end.out, "") << c.what;
        for (auto it = before.begin(); it != before.end();) {
            it = it->first.rfind(std::string(c.removed) + "/", 0) == 0 ? before.erase(it) : std::next(it);
        }
        expect_nothing_lost(before, test::snapshot(d.path()), c.what);
    }
}

}  // namespace
}  // namespace zorbel
