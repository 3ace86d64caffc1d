#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/test_support.h"
#include "support/fs_test_tools.h"
#include "workfiles/work_files.h"

namespace zorbel {
namespace {

using test::exit_status_of;
using test::InDirectory;
using test::list_dir;
using test::read_file;
using test::ScratchDir;
using test::write_file;

TEST(BumpTempBase, CountsLikeAnOdometerRightmostFirst) {
    struct Case {
        std::string before, after;
        int result;
    } cases[] = {
        {"AAAAAAA~.Z~B", "AAAAAAB~.Z~B", 0},
        {"AAAAAAZ~.Z~B", "AAAAABA~.Z~B", 0},   // carry into the sixth letter
        {"AZZZZZZ~.Z~B", "BAAAAAA~.Z~B", 0},   // carry through all but the first
        {"QRSTUVW~.map", "QRSTUVX~.map", 0},   // the extension is never touched
        {"ZZZZZZZ~.Z~B", "AAAAAAA~.Z~B", -1},  // the last name: every letter wraps
    };
    for (const auto& c : cases) {
        std::string name = c.before;
        EXPECT_EQ(bump_temp_base(name), c.result) << c.before;
        EXPECT_EQ(name, c.after) << c.before;
    }
}

// What lies in the current directory before the search, and the name the
// search must settle on. Nothing that was there may change.
TEST(MakeTempFile, PassesOverEveryTakenNameWithoutTouchingIt) {
    struct Case {
        const char* what;
        std::function<void(const ScratchDir&)> leftovers;
        std::string expected;
    } cases[] = {
        {"nothing there", [](const ScratchDir&) {}, "AAAAAAA~.Z~B"},
        {"a kept work file",
         [](const ScratchDir& d) { write_file(d.file("AAAAAAA~.Z~B"), "kept"); }, "AAAAAAB~.Z~B"},
        {"a directory of the name",
         [](const ScratchDir& d) { std::filesystem::create_directory(d.file("AAAAAAA~.Z~B")); }, "AAAAAAB~.Z~B"},
#ifndef _WIN32
        {"a symbolic link to a file",
         [](const ScratchDir& d) {
             write_file(d.file("precious"), "precious");
             (void)!::symlink("precious", d.file("AAAAAAA~.Z~B").c_str());
         },
         "AAAAAAB~.Z~B"},
        {"a dangling symbolic link",
         [](const ScratchDir& d) { (void)!::symlink("nowhere", d.file("AAAAAAA~.Z~B").c_str()); }, "AAAAAAB~.Z~B"},
#endif
        {"the whole last position taken",
         [](const ScratchDir& d) {
             std::string name = "AAAAAAA~.Z~B";
             for (char c = 'A'; c <= 'Z'; ++c) {
                 name[6] = c;
                 write_file(d.file(name), "");
             }
         },
         "AAAAABA~.Z~B"},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        c.leftovers(dir);
        auto before = list_dir(dir.path());
        WorkFiles files;
        InDirectory here(dir.path());
        ASSERT_TRUE(here.ok());

        Expected<WorkFile> made = files.new_temp_file();
        ASSERT_TRUE(made.ok()) << c.what << ": " << error_message(made.error());
        WorkFile& work = made.value();

        EXPECT_EQ(work.name, c.expected) << c.what;
        EXPECT_EQ(files.temp_name, c.expected) << c.what;  // the next search starts here
        EXPECT_TRUE(work.file.valid()) << c.what;
        EXPECT_EQ(read_file(dir.file(c.expected)), "") << c.what;
#ifndef _WIN32
        EXPECT_EQ(test::permission_bits(dir.file(c.expected)), 0600u) << c.what;
#endif
        before.push_back(c.expected);
        std::sort(before.begin(), before.end());
        EXPECT_EQ(list_dir(dir.path()), before) << c.what;  // the dangling link's target was not made
        if (test::file_exists(dir.file("precious"))) {
            EXPECT_EQ(read_file(dir.file("precious")), "precious");
        }
    }
}

TEST(MakeTempFile, SearchResumesWhereTheLastEndedAndTakesTheGivenExtension) {
    ScratchDir dir;
    WorkFiles files;
    InDirectory here(dir.path());
    files.temp_name = "AAAAAAC~.Z~B";  // where an earlier search ended; never reset

    Expected<WorkFile> map = files.make_temp_file(".map");
    EXPECT_EQ(map.value().name, "AAAAAAC~.map");
    Expected<WorkFile> work = files.new_temp_file();
    EXPECT_EQ(work.value().name, "AAAAAAC~.Z~B");
    Expected<WorkFile> second = files.new_temp_file();
    EXPECT_EQ(second.value().name, "AAAAAAD~.Z~B");
}

TEST(MakeTempFile, NoFreeNameIsItsOwnError) {
    ScratchDir dir;
    write_file(dir.file("ZZZZZZZ~.Z~B"), "");
    WorkFiles files;
    InDirectory here(dir.path());
    files.temp_name = "ZZZZZZZ~.Z~B";

    Expected<WorkFile> made = files.new_temp_file();
    ASSERT_FALSE(made.ok());
    EXPECT_EQ(made.error().kind, ErrorKind::kNoWorkFileName);
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"ZZZZZZZ~.Z~B"});
}

#ifndef _WIN32
TEST(MakeTempFile, ACreateRefusedForAnotherReasonEndsWithStatusThree) {
    ScratchDir dir;
    test::InodeFlag frozen(dir.path(), FS_IMMUTABLE_FL);
    if (!frozen.ok()) GTEST_SKIP() << "cannot make a directory immutable here";
    WorkFiles files;
    InDirectory here(dir.path());

    Expected<WorkFile> made = files.new_temp_file();
    ASSERT_FALSE(made.ok());
    EXPECT_EQ(made.error().kind, ErrorKind::kCannotOpen);
    EXPECT_EQ(error_message(made.error()), "couldn't open AAAAAAA~.Z~B for w.");
}
#endif

}  // namespace
}  // namespace zorbel
