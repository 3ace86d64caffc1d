// Where a page is read from and its tidied bytes are written to. The passes
// read and write through these in large blocks; a file is one
// implementation, a string another.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorbel {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes starting at offset. Returns the count read, 0 at
    // the end of the data, -1 on a read error. The rewrite reads some bytes
    // twice, so offsets may go back.
    virtual long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all n bytes at offset (never beyond the current length). The
    // rewrite writes some bytes over again, so offsets may go back.
    virtual bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) = 0;
    // Cuts the data to length bytes.
    virtual bool truncate(std::uint64_t length) = 0;
};

}  // namespace zorbel
