// Every page fixture of the rewrite pass, rewritten with tiny blocks and with
// the normal size, under a few option sets: the output must not depend on
// where the block boundaries fall.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "rewrite/engine_support.h"
#include "rewrite/rewrite_pass.h"
#include "support/test_support.h"

namespace zorbel {
namespace {

struct Output {
    std::string work;
    bool changed;
    bool quote_error;
};

// The options and the state carried in from the page before.
struct Variant {
    Options options;
    CarriedState carried;
};

Output rewrite(const std::string& input, const Variant& setup, std::size_t block) {
    const test::Rewritten r = test::rewrite_text(input, setup.options, block, setup.carried);
    return {r.work, r.outcome.changed, r.outcome.quote_error};
}

Variant with(void (*change)(Variant&)) {
    Variant setup;
    change(setup);
    return setup;
}

TEST(FixtureBlockSizes, SameOutputAtEveryBlockSize) {
    const Variant setups[] = {
        Variant{},
        with([](Variant& r) {
            r.options.collapse_crlf = 1;
            r.options.reset_quotes_at_para = 0;
            r.options.wrap_margin = 20;
        }),
        // The carried flags reach the page (they were once set where they
        // never did).
        with([](Variant& r) {
            r.options.strip_indent = 0;
            r.options.dump_editor_junk = 0;
            r.carried.crlf_collapse_active = 1;
            r.carried.after_newline = 1;
        }),
    };
    int pages = 0;
    for (const auto& entry : std::filesystem::directory_iterator(test::fixture_path("rewrite"))) {
        if (entry.path().extension() != ".htm") continue;
        ++pages;
        const std::string input = test::read_file(entry.path().string());
        for (std::size_t s = 0; s < std::size(setups); ++s) {
            Output reference = rewrite(input, setups[s], kDefaultBlockSize);
            for (std::size_t block : test::kBlockSizes) {
                SCOPED_TRACE(entry.path().filename().string() + ", options " + std::to_string(s) + ", block " +
                             std::to_string(block));
                Output got = rewrite(input, setups[s], block);
                EXPECT_EQ(got.work, reference.work);
                EXPECT_EQ(got.changed, reference.changed);
                EXPECT_EQ(got.quote_error, reference.quote_error);
            }
        }
    }
    EXPECT_GT(pages, 0) << "no page fixtures found";
}

}  // namespace
}  // namespace zorbel
