#include "platform/byte_io.h"

#include <algorithm>
#include <cstring>

namespace zorbel {

namespace {

long read_from(std::string_view data, std::uint64_t offset, unsigned char* buf, std::size_t n) {
    if (offset >= data.size()) return 0;
    std::size_t take = std::min<std::size_t>(n, data.size() - offset);
    std::memcpy(buf, data.data() + offset, take);
    return static_cast<long>(take);
}

}  // namespace

long StringSource::read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) {
    return read_from(data_, offset, buf, n);
}

long ViewSource::read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) {
    return read_from(data_, offset, buf, n);
}

bool StringSink::write_at(std::uint64_t offset, const unsigned char* bytes, std::size_t n) {
    if (offset > data.size()) return false;
    // Most writes land at the end: appended, the new bytes are written
    // once, where a resize would first fill them with zeros.
    const std::size_t over = std::min<std::size_t>(n, data.size() - offset);
    if (over > 0) std::memcpy(data.data() + offset, bytes, over);
    data.append(reinterpret_cast<const char*>(bytes) + over, n - over);
    return true;
}

bool StringSink::truncate(std::uint64_t length) {
    if (length < data.size()) data.resize(length);
    return true;
}

bool copy_bytes(ByteSource& from, ByteSink& to, std::size_t block, bool& read_failed) {
    ByteBlock buf(block);
    for (std::uint64_t at = 0;;) {
        const long got = from.read_at(at, buf.data(), buf.size());
        if (got == 0) return true;
        if (got < 0) {
            read_failed = true;
            return false;
        }
        if (!to.write_at(at, buf.data(), static_cast<std::size_t>(got))) return false;
        at += static_cast<std::uint64_t>(got);
    }
}

}  // namespace zorbel
