// Bytes held in memory up to a bound and in a temporary file beyond it,
// readable and writable at any offset: what one round of the passes wrote
// and the next reads, and a page read from a stream that cannot seek.
// Memory stays at the bound however long the page is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/byte_io.h"
#include "platform/files.h"
#include "zorbel/byte_stream.h"

namespace zorbel {

// 1 MiB: most pages fit, so they cost no file, while two or three such
// buffers keep a page's memory far below the few MiB the tool may take.
inline constexpr std::size_t kSpillBound = 1024 * 1024;

class SpillBuffer : public ByteSource, public ByteSink {
public:
    explicit SpillBuffer(std::size_t bound = kSpillBound) : bound_(bound) {}
    ~SpillBuffer() override;
    SpillBuffer(const SpillBuffer&) = delete;
    SpillBuffer& operator=(const SpillBuffer&) = delete;

    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override;
    bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) override;
    bool truncate(std::uint64_t length) override;

    std::uint64_t size() const { return length_; }
    // Moved to a file: the file could not be made (the error is kept).
    int file_error() const { return file_error_; }

private:
    bool move_to_file();

    std::size_t bound_;
    ByteBlock memory_;            // bound_ bytes once the first byte is written
    std::uint64_t length_ = 0;
    FileHandle file_;             // valid once the content outgrew the bound
    std::string file_name_;       // to remove when done, where it could not be removed at once
    int file_error_ = 0;
};

// One round's output, measured against the round's input as it is
// written: while every byte written equals the input's byte at its offset,
// nothing is stored; at the first difference the input's bytes so far are
// copied into the buffer, and everything goes there from then on. A round
// that gives back its input thus costs no writes, and tells so at once.
class RoundOutput : public ByteSink {
public:
    RoundOutput(ByteSource& input, SpillBuffer& buffer, std::size_t block) : input_(input), buffer_(buffer), block_(block) {}

    bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) override;
    bool truncate(std::uint64_t length) override;

    // The output is the input, byte for byte (false also when a read of
    // the input failed).
    bool same_as_input();
    // Puts the output in the buffer, where it is not yet; false when that
    // failed.
    bool into_buffer() { return diverged_ || diverge(); }
    // A read of the input failed.
    bool read_failed() const { return read_failed_; }

private:
    bool matches(std::uint64_t offset, const unsigned char* data, std::size_t n);
    bool diverge();

    ByteSource& input_;
    SpillBuffer& buffer_;
    std::size_t block_;
    ByteBlock compare_;
    std::uint64_t length_ = 0;  // while the output matches
    bool diverged_ = false;
    bool read_failed_ = false;
};

}  // namespace zorbel
