// Where attribute values lie: feeding bytes with no quote among them in one
// look back must leave the scan as feeding them one at a time does, from
// every state the scan can be in.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/attr_values.h"

namespace zorbel {
namespace {

AttrValueScan fed(AttrValueScan scan, const std::string& bytes) {
    scan.feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return scan;
}

TEST(AttrValueScan, BytesWithoutQuotesFedAtOnceAsOneAtATime) {
    const std::vector<std::pair<const char*, AttrValueScan>> starts = {
        {"after the tag's '<'", AttrValueScan::after_tag_open()},
        {"after its name", AttrValueScan::after_tag_name()},
        {"after an '='", fed(AttrValueScan::after_tag_name(), "a=")},
        {"after '=' and blanks", fed(AttrValueScan::after_tag_name(), "a= \t\r\n\f")},
        {"inside a value", fed(AttrValueScan::after_tag_name(), "a=\"")},
        {"inside a '\\'' value", fed(AttrValueScan::after_tag_name(), "a='")},
        {"no values", AttrValueScan::without_values()},
        {"no values, between quotes", fed(AttrValueScan::without_values(), "\"")},
        {"no tag", AttrValueScan::none()},
    };
    // Every byte the scan treats apart, but the quotes.
    const std::string alphabet = "= \t\r\n\fab/!<>&;";
    std::mt19937 rng(11);
    for (const auto& [what, start] : starts) {
        for (int round = 0; round < 3000; ++round) {
            std::string bytes(rng() % 12, ' ');
            for (char& c : bytes) c = alphabet[rng() % alphabet.size()];
            AttrValueScan at_once = start;
            at_once.feed_unquoted(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            ASSERT_TRUE(at_once == fed(start, bytes)) << what << ": \"" << bytes << "\"";
        }
    }
}

}  // namespace
}  // namespace zorbel
