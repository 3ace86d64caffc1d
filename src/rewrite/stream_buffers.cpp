#include "rewrite/stream_buffers.h"

#include <algorithm>
#include <cstring>

namespace zorbel {

InputWindow::InputWindow(ByteSource& source, std::size_t block_size, std::size_t look_back)
    : source_(source),
      block_size_(std::max<std::size_t>(block_size, 1)),
      look_back_(look_back),
      buf_(look_back_ + block_size_) {}

int InputWindow::get_slow() {
    if (pos_ >= end_) return -1;
    if (pos_ < base_ || pos_ != base_ + len_) {
        // Moved back beyond the window: start a new one at the position.
        base_ = pos_;
        len_ = 0;
        ++restarts_;
    } else if (len_ + block_size_ > buf_.size()) {
        // Reading on at the end: keep the look-back, drop what lies before it.
        std::size_t keep = std::min(look_back_, len_);
        std::memmove(buf_.data(), buf_.data() + (len_ - keep), keep);
        base_ += len_ - keep;
        len_ = keep;
    }
    long got = source_.read_at(base_ + len_, buf_.data() + len_, block_size_);
    if (got <= 0) {
        if (got < 0) failed_ = true;
        end_ = pos_;
        return -1;
    }
    len_ += static_cast<std::size_t>(got);
    return buf_[pos_++ - base_];
}

WorkWindow::WorkWindow(ByteSink& sink, std::size_t block_size, std::size_t look_back)
    : sink_(sink), block_size_(std::max<std::size_t>(block_size, 1)), buf_(look_back + block_size_) {}

void WorkWindow::sink_write(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    if (n > 0 && !sink_.write_at(offset, data, n)) failed_ = true;
}

void WorkWindow::put_slow(unsigned char c) {
    if (pos_ < base_) {
        // Moved back beyond the window: that part of the file is on the sink.
        sink_write(pos_, &c, 1);
        ++pos_;
        return;
    }
    // The window is full and the position at its end: hand the oldest block
    // to the sink and keep the look-back.
    sink_write(base_, buf_.data(), block_size_);
    std::memmove(buf_.data(), buf_.data() + block_size_, len_ - block_size_);
    base_ += block_size_;
    len_ -= block_size_;
    put(c);
}

void WorkWindow::write(const unsigned char* data, std::size_t n) {
    while (n > 0) {
        std::size_t room = room_ahead();
        if (room == 0) {
            // Outside the window or at its end: one byte the slow way makes room.
            put(*data++);
            --n;
            continue;
        }
        std::size_t take = std::min(room, n);
        std::memcpy(ahead(), data, take);
        advance(take, take);
        data += take;
        n -= take;
    }
}

void WorkWindow::flush_all() {
    sink_write(base_, buf_.data(), len_);
    base_ += len_;
    len_ = 0;
}

void WorkWindow::finish_at_position() {
    if (pos_ >= base_) {
        // The sink ends at base_; adding the bytes up to the position makes
        // it end exactly there.
        sink_write(base_, buf_.data(), static_cast<std::size_t>(pos_ - base_));
    } else if (!sink_.truncate(pos_)) {
        failed_ = true;
    }
    base_ = pos_;
    len_ = 0;
}

}  // namespace zorbel
