// Positioned reads and writes of an open handle: ReadFile and WriteFile
// with the offset given in an OVERLAPPED record.
#include "platform/byte_io.h"

#include <windows.h>

#include <algorithm>

#include "platform/windows/win_errors.h"

namespace zorbel {

namespace {

// One call moves at most this much: the counts are 32-bit.
constexpr std::size_t kMaxChunk = 1u << 30;

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xffffffffu);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

}  // namespace

long FileSource::read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) {
    OVERLAPPED o = at(offset);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(n, kMaxChunk));
    if (::ReadFile(win::handle_of(file_.raw), buf, want, &got, &o)) return static_cast<long>(got);
    // Reading at or past the end is the end of the data, not an error.
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

bool FileSink::write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    while (n > 0) {
        OVERLAPPED o = at(offset);
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min(n, kMaxChunk));
        if (!::WriteFile(win::handle_of(file_.raw), data, want, &put, &o) || put == 0) return false;
        data += put;
        offset += put;
        n -= put;
    }
    return true;
}

bool FileSink::truncate(std::uint64_t length) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(length);
    const HANDLE h = win::handle_of(file_.raw);
    return ::SetFilePointerEx(h, to, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
}

}  // namespace zorbel
