// The line pass: trailing white space and blank lines out, CR LF line ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/run.h"
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
// to be written after all.
LineStreamResult strip_lines_stream(ByteSource& source, ByteSink& sink, bool strip_empty_lines,
                                    std::size_t block_size);

// The pass over one file: skipped (with lines_stripped cleared) when
// debug_map_name is set or strip_trailing is off; otherwise the file is
// streamed into a work file, which replaces the file with a backup when
// something was removed, and the progress line is printed.
void strip_lines(Run& run, const std::string& path);

// The progress line of a line pass that changed the file at path.
std::string lines_stripped_line(const Options& options, const std::string& path);

}  // namespace zorbel
