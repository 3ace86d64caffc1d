// read_echo and the operations that move back and write over.
#include <gtest/gtest.h>

#include "rewrite/echo_stream.h"
#include "rewrite/engine_support.h"

namespace zorbel {
namespace {

using test::EngineHarness;
using test::kBlockSizes;

struct EchoCase {
    const char* what;
    std::string input;
    int armed;               // crlf_collapse_active at the start
    int after_newline;       // carried in from the file before
    std::string work;        // the work file after reading to the end
    int changed;
    int after_newline_end;
};

const EchoCase kEchoCases[] = {
    {"removal off: everything is copied", "a\r\n\r\n\r\nb", 0, 0, "a\r\n\r\n\r\nb", 0, 0},
    {"a run of empty lines goes, the line end of the text stays", "a\r\n\r\n\r\nb", 1, 0, "a\r\nb", 1, 0},
    {"a tab-only line loses its line end", "a\r\n\t\r\nb", 1, 0, "a\r\n\tb", 1, 0},
    {"a line holding a blank keeps its line end", "a\r\n \r\nb", 1, 0, "a\r\n \r\nb", 0, 0},
    {"a CR right before the end is dropped", "a\r\n\r", 1, 0, "a\r\n", 1, 1},
    {"a line end carried from the file before arms the first CR", "\r\nb", 1, 1, "b", 1, 0},
    {"a byte other than LF after a removed CR is kept", "a\r\n\rX", 1, 0, "a\r\nX", 1, 0},
    {"a CR after a removed CR is removed with its LF", "a\r\n\r\r\nb", 1, 0, "a\r\nb", 1, 0},
    {"LF-only line ends are not removed", "a\n\n\nb", 1, 0, "a\n\n\nb", 0, 0},
    {"a tab does not clear the line-end state", "a\n\t", 0, 0, "a\n\t", 0, 1},
    {"a blank clears it", "a\n ", 0, 0, "a\n ", 0, 0},
    {"a high byte clears it", "a\n\x80", 0, 0, "a\n\x80", 0, 0},
    {"NUL and other control bytes are copied", std::string("a\0\x01\r\n", 5), 0, 0, std::string("a\0\x01\r\n", 5), 0, 1},
};

TEST(ReadEcho, CopiesAndRemovesLineEnds) {
    for (const auto& c : kEchoCases) {
        for (std::size_t block : kBlockSizes) {
            SCOPED_TRACE(std::string(c.what) + ", block " + std::to_string(block));
            EngineHarness h(c.input, block);
            h.carried.crlf_collapse_active = c.armed;
            h.carried.after_newline = c.after_newline;
            RewriteState& s = h.start();
            while (read_echo(s) >= 0) {
            }
            EXPECT_EQ(read_echo(s), -1);  // and it keeps saying so
            EXPECT_EQ(h.work(), c.work);
            EXPECT_EQ(s.file_changed, c.changed);
            EXPECT_EQ(s.after_newline, c.after_newline_end);
        }
    }
}

// A single line longer than 2 GiB: the column keeps counting past the
// 32-bit range instead of wrapping round to a negative number, so blanks
// out there still break the line.
TEST(ReadEcho, ColumnCountsPastTwoGiB) {
    EngineHarness h("ab c");
    RewriteState& s = h.start();
    s.out_column = 2147483647;
    while (read_echo(s) >= 0) {
    }
    EXPECT_EQ(s.out_column, 2147483647LL + 5);  // four bytes and the end of input
    EXPECT_GT(s.out_column, h.settings.options.wrap_margin);
}

TEST(ReadEcho, CountsColumnsAndTheEndOfInput) {
    EngineHarness h("ab\ncd");
    RewriteState& s = h.start();
    for (int i = 0; i < 5; ++i) read_echo(s);
    EXPECT_EQ(s.out_column, 2);
    EXPECT_EQ(read_echo(s), -1);
    EXPECT_EQ(s.out_column, 3);  // the end of input counts one and writes nothing
    EXPECT_EQ(h.work(), "ab\ncd");
}

TEST(EchoStream, MovesBackAndWritesOver) {
    EngineHarness h("abc\ndef");
    RewriteState& s = h.start();
    for (int i = 0; i < 7; ++i) read_echo(s);
    ASSERT_EQ(s.out_column, 3);

    unwrite(s, 0);
    unread(s, 0);
    EXPECT_EQ(s.out_column, 3);

    // Back over the line end: the column is below the count and stays.
    unwrite(s, 5);
    EXPECT_EQ(s.out_column, 3);
    emit(s, "XY");
    EXPECT_EQ(s.out_column, 5);
    emit_newline(s);
    EXPECT_EQ(s.out_column, 0);
    // Nothing was erased: the file keeps its furthest length until it is cut.
    EXPECT_EQ(s.work_window.length(), 7u);
    EXPECT_EQ(s.work_window.position(), 6u);

    // step_back moves both sides: the input's last two bytes are read again
    // and copied over the two last written.
    step_back(s, 2);
    EXPECT_EQ(read_echo(s), 'e');
    EXPECT_EQ(read_echo(s), 'f');
    unwrite_text(s, "f");
    EXPECT_EQ(h.work(), "abXYe");
}

TEST(EchoStream, DebugPrefixFollowsEveryNewLineWhenAsked) {
    for (bool prefixes : {false, true}) {
        EngineHarness h("ab");
        RewriteState& s = h.start(prefixes);
        read_echo(s);
        emit_newline(s);
        s.in_quote = 1;
        emit_newline(s);
        EXPECT_EQ(s.out_column, 0);  // the prefix is not counted
        EXPECT_EQ(h.work(), prefixes ? "a\r\nq:0: \r\nq:1: " : "a\r\n\r\n");
    }
}

}  // namespace
}  // namespace zorbel
