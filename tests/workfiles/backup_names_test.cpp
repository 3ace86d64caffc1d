#include <gtest/gtest.h>

#include "workfiles/work_files.h"

namespace zorbel {
namespace {

TEST(BackupName, ReplacesTheLastComponentsExtension) {
    struct Case {
        std::string path, backup;
    } cases[] = {
        {"news.htm", "news.b~k"},
        {"a.b.html", "a.b.b~k"},
        {"README", "README.b~k"},
        {"dir/x.html", "dir/x.b~k"},
        {"/web/site/index.HTML", "/web/site/index.b~k"},
        {"site.v2/README", "site.v2/README.b~k"},  // a dot in a directory is no extension
        {"page.", "page.b~k"},
    };
    for (const auto& c : cases) EXPECT_EQ(backup_name(c.path), c.backup) << c.path;
}

TEST(BackupName, OnlyAnExactBackupExtensionMakesAFileItsOwnBackup) {
    EXPECT_TRUE(is_backup_file("old.b~k"));
    EXPECT_TRUE(is_backup_file("dir/old.b~k"));
    EXPECT_FALSE(is_backup_file("old.b~k.htm"));
    EXPECT_FALSE(is_backup_file("old.B~K"));
    EXPECT_FALSE(is_backup_file("b~k"));
}

}  // namespace
}  // namespace zorbel
