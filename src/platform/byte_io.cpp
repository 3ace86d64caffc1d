#include "platform/byte_io.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace zorbel {

long FdSource::read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) {
    for (;;) {
        ssize_t got = ::pread(fd_, buf, n, static_cast<off_t>(offset));
        if (got >= 0) return static_cast<long>(got);
        if (errno != EINTR) return -1;
    }
}

bool FdSink::write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    while (n > 0) {
        ssize_t put = ::pwrite(fd_, data, n, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;
        data += put;
        offset += static_cast<std::uint64_t>(put);
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

bool FdSink::truncate(std::uint64_t length) {
    return ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
}

long StringSource::read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) {
    if (offset >= data_.size()) return 0;
    std::size_t take = std::min<std::size_t>(n, data_.size() - offset);
    std::memcpy(buf, data_.data() + offset, take);
    return static_cast<long>(take);
}

bool StringSink::write_at(std::uint64_t offset, const unsigned char* bytes, std::size_t n) {
    if (offset > data.size()) return false;
    if (offset + n > data.size()) data.resize(offset + n);
    std::memcpy(data.data() + offset, bytes, n);
    return true;
}

bool StringSink::truncate(std::uint64_t length) {
    if (length < data.size()) data.resize(length);
    return true;
}

}  // namespace zorbel
