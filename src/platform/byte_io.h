// Where the passes read from and write to. The passes stream through these
// in large blocks; files are one implementation, strings another, so the
// passes run the same in a test without a disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "zorbel/byte_stream.h"

namespace zorbel {

// A buffer of bytes left uninitialised: its users write every byte before
// they read it, and clearing a few 64 KiB blocks per file cost more than
// the whole pass over a small page.
class ByteBlock {
public:
    ByteBlock() = default;
    explicit ByteBlock(std::size_t n) { resize(n); }
    void resize(std::size_t n) {
        data_.reset(new unsigned char[n]);
        size_ = n;
    }
    unsigned char* data() { return data_.get(); }
    const unsigned char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    unsigned char& operator[](std::size_t i) { return data_[i]; }
    unsigned char operator[](std::size_t i) const { return data_[i]; }

private:
    std::unique_ptr<unsigned char[]> data_;
    std::size_t size_ = 0;
};

// An open file, read at given offsets without moving a shared position;
// the caller owns the file.
class FileSource : public ByteSource {
public:
    explicit FileSource(FileHandle file) : file_(file) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override;

private:
    FileHandle file_;
};

// An open file, written at given offsets; the caller owns it.
class FileSink : public ByteSink {
public:
    explicit FileSink(FileHandle file) : file_(file) {}
    bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) override;
    bool truncate(std::uint64_t length) override;

private:
    FileHandle file_;
};

// Writes all of the source's bytes into the sink from its start, a block of
// block bytes at a time. False when a read (read_failed then set) or a
// write failed.
bool copy_bytes(ByteSource& from, ByteSink& to, std::size_t block, bool& read_failed);

class StringSource : public ByteSource {
public:
    explicit StringSource(std::string data) : data_(std::move(data)) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override;

private:
    std::string data_;
};

// Bytes the caller keeps alive for as long as they are read: read in place,
// with no copy of them made first.
class ViewSource : public ByteSource {
public:
    explicit ViewSource(std::string_view data) : data_(data) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override;

private:
    std::string_view data_;
};

class StringSink : public ByteSink {
public:
    std::string data;
    bool write_at(std::uint64_t offset, const unsigned char* bytes, std::size_t n) override;
    bool truncate(std::uint64_t length) override;
};

// Takes every byte and keeps none: for a pass run only for what it finds,
// or timed without a sink's cost behind it.
class DiscardingSink : public ByteSink {
public:
    bool write_at(std::uint64_t, const unsigned char*, std::size_t) override { return true; }
    bool truncate(std::uint64_t) override { return true; }
};

}  // namespace zorbel
