// In-memory windows over the two streams of the rewrite pass. The pass reads
// the input byte by byte and moves back over what it has just read; it writes
// the work file byte by byte and moves back to write over what it has just
// written. These windows make both cheap: the input is read and the work file
// written in large blocks, and every move back that stays within the look-back
// is served from memory. A move back beyond the look-back is still correct:
// the input is read again at the absolute offset, and the work file is written
// at the absolute offset.
//
// The work file behaves like a file written through a seekable stream: moving
// back never shortens it, so its length is the furthest point ever written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/byte_io.h"

namespace zorbel {

// 1 KiB: the longest move back the rewrite pass makes is a captured tag with
// its line ends (a few hundred bytes); twice that still fits.
inline constexpr std::size_t kDefaultLookBack = 1024;

class InputWindow {
public:
    InputWindow(ByteSource& source, std::size_t block_size, std::size_t look_back = kDefaultLookBack);

    // The next byte (0..255) and the position moves past it; -1 at the end of
    // the input or after a read error, and the position stays.
    int get() {
        std::uint64_t off = pos_ - base_;  // wraps to a huge value when pos_ < base_
        if (off < len_) {
            ++pos_;
            return buf_[off];
        }
        return get_slow();
    }

    // Moves the position back by n bytes (never before the start).
    void unget(std::uint64_t n) { pos_ = n > pos_ ? 0 : pos_ - n; }

    std::uint64_t position() const { return pos_; }

    // A read of the source failed; the input then ends where the read failed.
    bool failed() const { return failed_; }

    // The bytes already held from the position on, for callers that take a
    // run of them at once; no read is made. skip(n) then moves past n of
    // them (n at most held_ahead()), as n calls of get() would.
    std::size_t held_ahead() const {
        std::uint64_t off = pos_ - base_;
        return off < len_ ? static_cast<std::size_t>(len_ - off) : 0;
    }
    const unsigned char* ahead() const { return buf_.data() + (pos_ - base_); }
    void skip(std::size_t n) { pos_ += n; }

    // The bytes held right before the position, ending at ahead(): at
    // least the look-back after a read on, fewer after a restart.
    std::size_t held_behind() const {
        std::uint64_t off = pos_ - base_;
        return off <= len_ ? static_cast<std::size_t>(off) : 0;
    }

    // Counts the times the window started over at a position it had moved
    // back beyond, reading the source again there. While it stays the same,
    // every byte read from a given offset is the same byte.
    std::uint64_t restarts() const { return restarts_; }

private:
    int get_slow();

    ByteSource& source_;
    std::size_t block_size_;
    std::size_t look_back_;
    ByteBlock buf_;
    std::uint64_t base_ = 0;   // input offset of buf_[0]
    std::size_t len_ = 0;      // valid bytes in buf_
    std::uint64_t pos_ = 0;    // read position
    std::uint64_t end_ = UINT64_MAX;  // where the input is known to end
    std::uint64_t restarts_ = 0;
    bool failed_ = false;
};

class WorkWindow {
public:
    WorkWindow(ByteSink& sink, std::size_t block_size, std::size_t look_back = kDefaultLookBack);

    void put(unsigned char c) {
        std::uint64_t off = pos_ - base_;  // wraps to a huge value when pos_ < base_
        if (off < buf_.size()) {
            buf_[off] = c;
            ++pos_;
            if (off >= len_) len_ = off + 1;
            return;
        }
        put_slow(c);
    }

    void write(const unsigned char* data, std::size_t n);

    // Room for bytes at the write position without a flush, for callers that
    // write a run at once into ahead(). advance(n, touched) then moves past
    // n bytes, as n calls of put() would; touched (at least n) is how far
    // from the position bytes were stored, for a byte written and moved
    // back over at once, which still counts in the length.
    std::size_t room_ahead() const {
        std::uint64_t off = pos_ - base_;
        return off < buf_.size() ? static_cast<std::size_t>(buf_.size() - off) : 0;
    }
    unsigned char* ahead() { return buf_.data() + (pos_ - base_); }
    // How many of the bytes ahead are already part of the file (written,
    // then moved back over); the rest of the room holds nothing that counts.
    std::size_t held_past_position() const {
        std::uint64_t off = pos_ - base_;
        return off < len_ ? static_cast<std::size_t>(len_ - off) : 0;
    }
    void advance(std::size_t n, std::size_t touched) {
        std::size_t reach = static_cast<std::size_t>(pos_ - base_) + touched;
        if (reach > len_) len_ = reach;
        pos_ += n;
    }

    // Moves the write position back by n bytes (never before the start).
    // Nothing is erased.
    void move_back(std::uint64_t n) { pos_ = n > pos_ ? 0 : pos_ - n; }

    std::uint64_t position() const { return pos_; }

    // The furthest point ever written: the length of the file.
    std::uint64_t length() const { return base_ + len_; }

    // Writes everything held in memory to the sink: afterwards the sink holds
    // the whole file, length() bytes.
    void flush_all();

    // Writes what is held up to the write position and cuts the sink there,
    // dropping the stale bytes behind it.
    void finish_at_position();

    // A write or cut of the sink failed.
    bool failed() const { return failed_; }

private:
    void put_slow(unsigned char c);
    void sink_write(std::uint64_t offset, const unsigned char* data, std::size_t n);

    ByteSink& sink_;
    std::size_t block_size_;
    ByteBlock buf_;  // look_back + block_size bytes
    std::uint64_t base_ = 0;          // file offset of buf_[0]; the sink holds everything before it
    std::size_t len_ = 0;             // bytes of the file held in buf_
    std::uint64_t pos_ = 0;           // write position
    bool failed_ = false;
};

}  // namespace zorbel
