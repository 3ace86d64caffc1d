// The in-memory sink: a write lands at its offset, over what is there and
// past the end, as a file's would; a write that would leave a gap fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_io.h"

namespace zorbel {
namespace {

struct SinkWrite {
    std::string_view before;
    std::uint64_t offset;
    std::string_view bytes;
    bool ok;
    std::string_view after;
};

TEST(StringSink, WritesLikeAFile) {
    const SinkWrite cases[] = {
        {"", 0, "abc", true, "abc"},         // into an empty sink
        {"abc", 3, "de", true, "abcde"},     // at the end
        {"abcde", 1, "XY", true, "aXYde"},   // inside, the length kept
        {"abcde", 3, "XYZ", true, "abcXYZ"}, // over the end: part over, part added
        {"abc", 0, "", true, "abc"},         // nothing
        {"abc", 4, "d", false, "abc"},       // past the end: no gap is filled
    };
    for (const SinkWrite& c : cases) {
        StringSink sink;
        sink.data = std::string(c.before);
        const bool ok = sink.write_at(c.offset, reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size());
        EXPECT_EQ(ok, c.ok) << c.before << " @" << c.offset << " " << c.bytes;
        EXPECT_EQ(sink.data, c.after) << c.before << " @" << c.offset << " " << c.bytes;
    }
}

}  // namespace
}  // namespace zorbel
