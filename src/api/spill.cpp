#include "api/spill.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <random>
#include <system_error>

namespace zorbel {

namespace {

// A fresh file in the system's temporary folder, created exclusively under
// a random name; a name taken by another buffer or process moves on.
FileHandle create_temporary(std::string& name, int& error) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        error = ec.value() != 0 ? ec.value() : ENOENT;
        return FileHandle{};
    }
    std::random_device seed;
    std::mt19937_64 next(seed());
    // Many tries: only names that exist already use one up.
    for (int tries = 0; tries < 100; ++tries) {
        char base[32];
        std::snprintf(base, sizeof base, "zorbel-%016llx.tmp", static_cast<unsigned long long>(next()));
        name = (folder / base).string();
        FileHandle file = create_exclusive(name, error);
        if (file.valid() || error != EEXIST) return file;
    }
    return FileHandle{};
}

}  // namespace

SpillBuffer::~SpillBuffer() {
    if (file_.valid()) (void)close_file(file_);
    if (!file_name_.empty()) (void)remove_name(file_name_);
}

bool SpillBuffer::move_to_file() {
    if (file_error_ != 0) return false;
    std::string name;
    file_ = create_temporary(name, file_error_);
    if (!file_.valid()) {
        if (file_error_ == 0) file_error_ = EEXIST;
        return false;
    }
    // Where an open file's name may go (POSIX), it goes now, so that no way
    // out leaves the file behind; elsewhere it goes with the buffer.
    if (remove_name(name) != 0) file_name_ = name;
    if (length_ > 0 && !FileSink(file_).write_at(0, memory_.data(), static_cast<std::size_t>(length_))) {
        file_error_ = EIO;
        return false;
    }
    memory_ = ByteBlock();
    return true;
}

long SpillBuffer::read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) {
    if (file_.valid()) return FileSource(file_).read_at(offset, buf, n);
    if (offset >= length_) return 0;
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, length_ - offset));
    std::memcpy(buf, memory_.data() + offset, take);
    return static_cast<long>(take);
}

bool SpillBuffer::write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    if (offset > length_) return false;
    if (!file_.valid()) {
        if (offset + n <= bound_) {
            if (memory_.empty()) memory_.resize(bound_);
            std::memcpy(memory_.data() + offset, data, n);
            length_ = std::max<std::uint64_t>(length_, offset + n);
            return true;
        }
        if (!move_to_file()) return false;
    }
    if (!FileSink(file_).write_at(offset, data, n)) return false;
    length_ = std::max<std::uint64_t>(length_, offset + n);
    return true;
}

bool SpillBuffer::truncate(std::uint64_t length) {
    if (length >= length_) return true;
    if (file_.valid() && !FileSink(file_).truncate(length)) return false;
    length_ = length;
    return true;
}

namespace {

// Reads exactly n bytes at offset; false at a failed or short read.
bool read_exactly(ByteSource& from, std::uint64_t offset, unsigned char* buf, std::size_t n, bool& failed) {
    while (n > 0) {
        const long got = from.read_at(offset, buf, n);
        if (got < 0) failed = true;
        if (got <= 0) return false;
        buf += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

bool RoundOutput::matches(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    if (compare_.empty()) compare_.resize(block_);
    while (n > 0) {
        const std::size_t take = std::min(n, compare_.size());
        if (!read_exactly(input_, offset, compare_.data(), take, read_failed_)) return false;
        if (std::memcmp(compare_.data(), data, take) != 0) return false;
        offset += take;
        data += take;
        n -= take;
    }
    return true;
}

bool RoundOutput::diverge() {
    if (!buffer_.truncate(0)) return false;
    if (compare_.empty()) compare_.resize(block_);
    for (std::uint64_t at = 0; at < length_;) {
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(compare_.size(), length_ - at));
        if (!read_exactly(input_, at, compare_.data(), take, read_failed_)) return false;
        if (!buffer_.write_at(at, compare_.data(), take)) return false;
        at += take;
    }
    diverged_ = true;
    return true;
}

bool RoundOutput::write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    if (!diverged_) {
        if (offset > length_) return false;
        if (matches(offset, data, n)) {
            length_ = std::max<std::uint64_t>(length_, offset + n);
            return true;
        }
        if (read_failed_ || !diverge()) return false;
    }
    return buffer_.write_at(offset, data, n);
}

bool RoundOutput::truncate(std::uint64_t length) {
    if (length == 0) {
        // Started again from nothing: measured against the input afresh.
        diverged_ = false;
        length_ = 0;
        return buffer_.truncate(0);
    }
    if (diverged_) return buffer_.truncate(length);
    length_ = std::min(length_, length);
    return true;
}

bool RoundOutput::same_as_input() {
    if (diverged_ || read_failed_) return false;
    unsigned char probe;
    const long more = input_.read_at(length_, &probe, 1);
    if (more < 0) read_failed_ = true;
    return more == 0;
}

}  // namespace zorbel
