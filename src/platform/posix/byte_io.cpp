// Positioned reads and writes of an open descriptor (pread, pwrite).
#include "platform/byte_io.h"

#include <cerrno>
#include <unistd.h>

namespace zorbel {

long FileSource::read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) {
    for (;;) {
        ssize_t got = ::pread(static_cast<int>(file_.raw), buf, n, static_cast<off_t>(offset));
        if (got >= 0) return static_cast<long>(got);
        if (errno != EINTR) return -1;
    }
}

bool FileSink::write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    while (n > 0) {
        ssize_t put = ::pwrite(static_cast<int>(file_.raw), data, n, static_cast<off_t>(offset));
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

bool FileSink::truncate(std::uint64_t length) {
    return ::ftruncate(static_cast<int>(file_.raw), static_cast<off_t>(length)) == 0;
}

}  // namespace zorbel
