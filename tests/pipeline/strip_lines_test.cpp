#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>

#include <random>

#include "support/page_files.h"

namespace zorbel {
namespace {

using test::exit_status_of;
using test::InDirectory;
using test::list_dir;
using test::read_file;
using test::ScratchDir;
using test::write_file;

using Names = std::vector<std::string>;

class StripLinesTest : public test::PageFilesTest {};

TEST_F(StripLinesTest, ChangedFileIsReplacedWithBackupAndReported) {
    struct Case {
        int strip_empty;
        std::string input, output, progress;
    } cases[] = {
        {1, "<p>a \n\n<p>b\n", "<p>a\r\n<p>b\r\n", "Removed trailing spaces/emtpy lines from page.htm\n"},
        // the option alone decides the line, not what was removed
        {1, "<p>a \n<p>b\n", "<p>a\r\n<p>b\r\n", "Removed trailing spaces/emtpy lines from page.htm\n"},
        {0, "<p>a \n\n<p>b\n", "<p>a\r\n\r\n<p>b\r\n", "Removed trailing spaces from page.htm\n"},
    };
    for (const auto& c : cases) {
        ScratchDir d;
        write_file(d.file("page.htm"), c.input);
        StringConsole cons;
        Invocation r(cons);
        r.settings.options.strip_empty_lines = c.strip_empty;
        InDirectory here(d.path());
        PassResult pass;

        EXPECT_EQ(test::strip_reported(r, "page.htm", &pass), 0);

        EXPECT_EQ(read_file(d.file("page.htm")), c.output);
        EXPECT_EQ(read_file(d.file("page.b~k")), c.input);
        EXPECT_EQ(cons.out_text, c.progress);
        EXPECT_EQ(cons.err_text, "");
        EXPECT_TRUE(pass.committed);
        EXPECT_EQ(list_dir(d.path()), (Names{"page.b~k", "page.htm"}));
    }
}

TEST_F(StripLinesTest, UnchangedFileIsLeftAloneAndItsWorkFileGoesUnlessKept) {
    const std::string lf_only = "<p>a\n<p>b";  // LF ends and no last line end: still no change
    write_file(dir.file("page.htm"), lf_only);

    EXPECT_EQ(strip("page.htm"), 0);
    EXPECT_EQ(read_file(dir.file("page.htm")), lf_only);
    EXPECT_EQ(console.out_text, "");
    EXPECT_FALSE(last_pass.committed);
    EXPECT_EQ(list_dir(dir.path()), Names{"page.htm"});

    run.settings.options.keep_temps = 1;
    EXPECT_EQ(strip("page.htm"), 0);
    EXPECT_EQ(list_dir(dir.path()), (Names{"AAAAAAA~.Z~B", "page.htm"}));
    EXPECT_EQ(read_file(dir.file("AAAAAAA~.Z~B")), "<p>a\r\n<p>b\r\n");
    EXPECT_EQ(read_file(dir.file("page.htm")), lf_only);
}

TEST_F(StripLinesTest, SkippedPassTouchesNothingAndCommitsNothing) {
    for (int variant : {0, 1}) {
        StringConsole cons;
        Invocation r(cons);
        if (variant == 0) r.settings.options.debug_map_name = "bad~q~";
        if (variant == 1) r.settings.options.strip_trailing = 0;
        PassResult pass{true, std::nullopt};

        // the file does not even exist: nothing is opened
        EXPECT_EQ(test::strip_reported(r, "missing.htm", &pass), 0);
        EXPECT_FALSE(pass.committed);
        EXPECT_EQ(cons.out_text + cons.err_text, "");
        EXPECT_EQ(list_dir(dir.path()), Names{});
    }
}

TEST_F(StripLinesTest, EveryWorkFileOfACleanDirectoryIsTheFirstName) {
    write_file(dir.file("a.htm"), "a \n");
    write_file(dir.file("b.htm"), "b\n");
    write_file(dir.file("c.htm"), "c \n");
    for (const char* name : {"a.htm", "b.htm", "c.htm"}) EXPECT_EQ(strip(name), 0);
    EXPECT_EQ(run.pipeline.work_files().temp_name, "AAAAAAA~.Z~B");
    EXPECT_EQ(list_dir(dir.path()), (Names{"a.b~k", "a.htm", "b.htm", "c.b~k", "c.htm"}));
}

// Input that cannot be opened or read: status 3, the message, nothing left.
TEST_F(StripLinesTest, InputFailuresEndTheRun) {
    std::filesystem::create_directory(dir.file("folder.htm"));
    struct Case {
        std::string path, message;
    } cases[] = {
        {"missing.htm", "couldn't open missing.htm for r."},
#ifdef _WIN32
        {"folder.htm", "couldn't open folder.htm for r."},  // a directory does not open as a file
#else
        {"folder.htm", "couldn't read folder.htm.\n"},  // opens, but every read fails
#endif
    };
    for (const auto& c : cases) {
        console.err_text.clear();
        EXPECT_EQ(strip(c.path), 3) << c.path;
        EXPECT_EQ(console.err_text, c.message);
        EXPECT_EQ(console.out_text, "");
        EXPECT_EQ(list_dir(dir.path()), Names{"folder.htm"});
    }
}

#ifndef _WIN32
TEST_F(StripLinesTest, WriteFailurePartWayKeepsTheFileAndLeavesNoWorkFile) {
    std::string big;
    for (int i = 0; i < 2000; ++i) big += "<p>line " + std::to_string(i) + "  \n";
    write_file(dir.file("big.htm"), big);

    test::ChildResult child = test::run_with_file_size_limit(4096, [&](StringConsole& cons) {
        Invocation r(cons);
        r.settings.block_size = 1024;
        int status = test::strip_reported(r, "big.htm");
        return status + (cons.out_text.empty() ? 0 : 100);
    });

    EXPECT_EQ(child.status, 3);
    EXPECT_EQ(child.err, "couldn't write big.htm.\n");
    EXPECT_EQ(read_file(dir.file("big.htm")), big);
    EXPECT_EQ(list_dir(dir.path()), Names{"big.htm"});
}

TEST_F(StripLinesTest, ReplaceFailureKeepsTheFileAndPrintsNoProgressLine) {
    ::mkdir(dir.file("site").c_str(), 0755);
    write_file(dir.file("site/page.htm"), "a \n");
    test::InodeFlag no_rename(dir.file("site"), FS_APPEND_FL);
    if (!no_rename.ok()) GTEST_SKIP() << "cannot make a directory append-only here";

    EXPECT_EQ(strip("site/page.htm"), 3);

    EXPECT_EQ(console.err_text, "couldn't replace site/page.htm.\n");
    EXPECT_EQ(console.out_text, "");
    EXPECT_EQ(read_file(dir.file("site/page.htm")), "a \n");
    EXPECT_EQ(list_dir(dir.path()), Names{"site"});
}

TEST_F(StripLinesTest, SymbolicLinkIsFollowedAndNamedAsGiven) {
    ::mkdir(dir.file("real").c_str(), 0755);
    write_file(dir.file("real/page.html"), "a \n");
    ASSERT_EQ(::symlink("real/page.html", dir.file("link.htm").c_str()), 0);

    EXPECT_EQ(strip("link.htm"), 0);

    EXPECT_EQ(console.out_text, "Removed trailing spaces/emtpy lines from link.htm\n");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("link.htm").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file(dir.file("link.htm")), "a\r\n");
    EXPECT_EQ(read_file(dir.file("real/page.b~k")), "a \n");
}

// Killed at any instant, the file's name holds the old content, or the new
// content with the old under the backup name.
TEST_F(StripLinesTest, KillAtAnyInstantLosesNothing) {
    std::string old_content;
    for (int i = 0; i < 60000; ++i) old_content += "<p>line " + std::to_string(i) + " \t\n";
    std::string new_content;
    for (int i = 0; i < 60000; ++i) new_content += "<p>line " + std::to_string(i) + "\r\n";

    std::mt19937 random(12345);
    for (int round = 0; round < 25; ++round) {
        ScratchDir d;
        write_file(d.file("page.htm"), old_content);
        pid_t pid = ::fork();
        if (pid == 0) {
            StringConsole cons;
            Invocation r(cons);
            r.settings.block_size = 4096;
            InDirectory here(d.path());
            ::_exit(test::strip_reported(r, "page.htm"));
        }
        ::usleep(std::uniform_int_distribution<unsigned>(0, 12000)(random));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        std::string now = read_file(d.file("page.htm"));
        if (now == new_content) {
            EXPECT_EQ(read_file(d.file("page.b~k")), old_content) << "round " << round;
        } else {
            EXPECT_EQ(now, old_content) << "round " << round;
        }
    }
}
#endif

}  // namespace
}  // namespace zorbel
