// The line pass: trailing white space and blank lines out, CR LF line ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/byte_io.h"
#include "platform/byte_set.h"

namespace zorbel {

// Bytes that end a run of line text: line ends, tabs and every other
// control byte. A run of text and inner blanks is taken between them.
inline constexpr ByteSet kLineStops = byte_set(0x20);

// How a run of the streaming core ended.
enum class LineStreamStatus { kOk, kReadFailed, kWriteFailed };

struct LineStreamResult {
    LineStreamStatus status = LineStreamStatus::kOk;
    // Something was cut or dropped; line ends alone never count.
    bool stripped = false;
    // A CR LF was written where the source had a bare LF, or no line end
    // at its very end: without stripped, the output is the source exactly
    // when this is false.
    bool line_ends_added = false;
    // Bytes written to the sink.
    std::uint64_t out_length = 0;
};

// Streams the source into the sink, line by line: every line loses its
// trailing white space (tab, LF, VT, FF, CR, space; never its first byte),
// blank lines (bytes 0x01..0x20 only, or none) are dropped when
// strip_empty_lines is set, and every line written ends with CR LF. A line
// ends at LF; a CR right before that LF belongs to the line end; every other
// byte is data. Memory is a few blocks of block_size bytes, whatever the
// length of the file or of its lines: a run of white space that may turn out
// to be trailing is kept as a range of the source and read again if it has
// to be written after all. With keep_verbatim, a line that ends inside a
// verbatim element (<pre>, <textarea>, <listing>, <xmp>; ElementScan) keeps
// its trailing white space, and an empty one stays.
LineStreamResult strip_lines_stream(ByteSource& source, ByteSink& sink, bool strip_empty_lines,
                                    std::size_t block_size, bool keep_verbatim = false);

// How far back from the furthest byte read a StrippedLines can still be
// read again: 64 KiB, far more than the rewrite ever moves back (a captured
// tag with its line ends, a few hundred bytes), and small enough that
// memory stays flat whatever the length of the page.
inline constexpr std::size_t kStrippedHistory = 64 * 1024;

// The line pass's output of a page as a source, made as it is read: each
// read runs the line core only as far as the bytes asked for, so a later
// stage reads the stripped page without it ever being held whole. Bytes
// more than `history` before the furthest byte read are gone: a read there
// fails (-1) and out_of_reach() says so. A read error of the page also
// fails a read, once every byte stripped before it has been read.
class StrippedLines : public ByteSource {
public:
    StrippedLines(ByteSource& page, bool strip_empty_lines, std::size_t block_size,
                  std::size_t history = kStrippedHistory, bool keep_verbatim = false);
    ~StrippedLines() override;
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override;

    // Runs the line core over the page's first block, if it has not yet.
    void read_ahead();
    // What the line core found in the part of the page it has read; final
    // once settled().
    const LineStreamResult& so_far() const;
    bool settled() const;
    // A CR LF line end was read.
    bool crlf_seen() const;

    // Runs the line core to the end of the page, whatever was read, and
    // gives its result.
    LineStreamResult finish();
    // Bytes of the page read so far (all of them after finish()).
    std::uint64_t page_length() const;
    // A read went back beyond the history kept.
    bool out_of_reach() const;

private:
    struct Core;
    std::unique_ptr<Core> core_;
};

// Runs the line core over the page only until it first removes something,
// writing nothing: stripped tells whether the line pass changes the page,
// at a fraction of the cost of a full pass on most pages.
LineStreamResult find_first_strip(ByteSource& page, bool strip_empty_lines, std::size_t block_size,
                                  bool keep_verbatim = false);

}  // namespace zorbel
