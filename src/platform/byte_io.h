// Where the passes read from and write to. The passes stream through these
// in large blocks; files are one implementation, strings another, so the
// passes run the same in a test without a disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorbel {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes starting at offset. Returns the count read, 0 at
    // the end of the data, -1 on a read error.
    virtual long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all n bytes at offset (never beyond the current length).
    virtual bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) = 0;
    // Cuts the data to length bytes.
    virtual bool truncate(std::uint64_t length) = 0;
};

// An open file descriptor, read with pread; the caller owns the descriptor.
class FdSource : public ByteSource {
public:
    explicit FdSource(int fd) : fd_(fd) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override;

private:
    int fd_;
};

// An open file descriptor, written with pwrite; the caller owns it.
class FdSink : public ByteSink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) override;
    bool truncate(std::uint64_t length) override;

private:
    int fd_;
};

class StringSource : public ByteSource {
public:
    explicit StringSource(std::string data) : data_(std::move(data)) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override;

private:
    std::string data_;
};

class StringSink : public ByteSink {
public:
    std::string data;
    bool write_at(std::uint64_t offset, const unsigned char* bytes, std::size_t n) override;
    bool truncate(std::uint64_t length) override;
};

}  // namespace zorbel
