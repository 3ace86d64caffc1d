// The names the program creates in its folder, watched through inotify: a
// page that needs no change costs no work file at all, and a page that both
// passes change costs one work file and one backup.
#include <gtest/gtest.h>

#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

#include "pipeline/page_pipeline.h"
#include "support/test_support.h"

namespace zorbel {
namespace {

// Every name created in the folder while the program ran, in order.
std::vector<std::string> names_created(const test::ScratchDir& dir, const std::vector<std::string>& args) {
    const int watch = ::inotify_init1(IN_NONBLOCK);
    EXPECT_GE(watch, 0);
    EXPECT_GE(::inotify_add_watch(watch, dir.path().c_str(), IN_CREATE), 0);
    const auto got = test::run_zorbel(args, dir.path());
    EXPECT_EQ(got.status, 0) << got.err;
    std::vector<std::string> names;
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = ::read(watch, buf, sizeof buf)) > 0;) {
        for (char* at = buf; at < buf + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0) names.emplace_back(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    return names;
}

// A page of about `size` bytes that the tool leaves as it is.
std::string tidy_lines(std::size_t size) {
    std::string page;
    while (page.size() < size) page += "<p>Nothing to change on this line.</p>\r\n";
    return page;
}

TEST(WorkFileCreations, OnlyWhatTheResultNeeds) {
    const struct {
        const char* what;
        std::string page;
        std::vector<std::string> args;
        std::vector<std::string> created;
    } cases[] = {
        {"a tidy page", "<p>Nothing to change.</p>\r\n", {"page.htm"}, {}},
        {"a tidy page with LF line ends", "<p>Nothing to change.</p>\n", {"page.htm"}, {}},
        {"changed by both passes", "  <p>\"Both\"</p>  \n\n", {"page.htm"}, {"AAAAAAA~.Z~B", "page.b~k"}},
        {"a tidy page of 300 KiB", tidy_lines(300 * 1024), {"page.htm"}, {}},
        {"a tidy page whose content outgrows what is held in memory", tidy_lines(kHeldOutputBound + 1),
         {"page.htm"}, {"AAAAAAA~.Z~B"}},
        {"-k keeps the two passes' work files", "<p>x</p>\r\n", {"-k", "page.htm"}, {"AAAAAAA~.Z~B", "AAAAAAB~.Z~B"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir dir;
        test::write_file(dir.file("page.htm"), c.page);
        EXPECT_EQ(names_created(dir, c.args), c.created);
    }
}

}  // namespace
}  // namespace zorbel
