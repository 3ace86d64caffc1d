// --exclude globs: matched against runs of whole parts of a path, with '*'
// and '?' never reaching across a '/'.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fmt/paths.h"

namespace zorbel::fmt {
namespace {

TEST(FmtExclude, GlobsMatchWholeParts) {
    struct Case {
        const char* glob;
        const char* path;
        bool excluded;
    };
    const Case cases[] = {
        {"drafts", "site/drafts", true},
        {"drafts", "site/drafts/a.htm", true},
        {"drafts", "site/old-drafts/a.htm", false},
        {"*.HTM", "site/sub/c.HTM", true},
        {"*.HTM", "site/sub/c.htm", false},
        {"site/old", "site/old/a.htm", true},
        {"site/old", "other/site/old", true},
        {"site/old", "site/older", false},
        {"s*d", "site/old", false},
        {"s*d", "sold/a.htm", true},
        {"a?htm", "x/a.htm", true},
        {"a?htm", "a/htm", false},
        {"*", "anything/at/all", true},
        {"sub/*", "site/sub/c.htm", true},
        {"sub/*", "site/sub", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(excluded(c.path, {c.glob}), c.excluded) << c.glob << " on " << c.path;
    }
    EXPECT_FALSE(excluded("a.htm", {}));
    EXPECT_TRUE(excluded("site/a.htm", {"b", "a.htm"}));
}

}  // namespace
}  // namespace zorbel::fmt
