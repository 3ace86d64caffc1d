// The file operations on Windows, through the system's ANSI calls: names
// are passed on as the bytes they are, and the system's path limit holds
// (a longer name fails with ENAMETOOLONG, never cut short).
#include "platform/files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/byte_io.h"
#include "platform/windows/win_errors.h"

// The C runtime must hand the command line over as typed: the tool expands
// its own wildcards, so "*.htm" has to arrive as "*.htm".
extern "C" {
int _dowildcard = 0;
}

namespace zorbel {

namespace {

constexpr std::size_t kCopyBlock = 64 * 1024;

// Others may read, write, rename and delete a file while the tool has it
// open, as they may on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A page held open by another program (an editor, a virus scanner, an
// indexer) refuses a replace for a moment; these are tried again.
constexpr int kReplaceTries = 5;
constexpr DWORD kReplacePauseMs = 40;

HANDLE raw_handle(FileHandle file) { return win::handle_of(file.raw); }
FileHandle handle_of(HANDLE h) { return FileHandle{reinterpret_cast<std::intptr_t>(h)}; }

// FILETIME counts 100 ns steps since 1601; FileTime keeps the Unix epoch.
constexpr std::int64_t kEpochDifference = 11644473600LL;

FileTime time_from(const FILETIME& ft) {
    const std::int64_t ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) |
                                                         ft.dwLowDateTime);
    return FileTime{ticks / 10000000 - kEpochDifference, (ticks % 10000000) * 100};
}

FILETIME filetime_from(const FileTime& t) {
    const std::uint64_t ticks =
        static_cast<std::uint64_t>((t.seconds + kEpochDifference) * 10000000 + t.nanoseconds / 100);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xffffffffu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

FileInfo info_from(const BY_HANDLE_FILE_INFORMATION& fi, DWORD type) {
    FileInfo info;
    info.volume = fi.dwVolumeSerialNumber;
    info.file_id = (static_cast<std::uint64_t>(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow;
    info.regular = type == FILE_TYPE_DISK && !(fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    info.attributes = fi.dwFileAttributes;
    info.accessed = time_from(fi.ftLastAccessTime);
    info.modified = time_from(fi.ftLastWriteTime);
    return info;
}

int stat_handle(HANDLE h, FileInfo& info) {
    BY_HANDLE_FILE_INFORMATION fi;
    if (!::GetFileInformationByHandle(h, &fi)) return win::last_errno();
    info = info_from(fi, ::GetFileType(h));
    return 0;
}

// The attribute bits that can be set on a file; the others (directory,
// compressed, reparse point, ...) the system keeps for itself.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

DWORD settable(std::uint32_t attributes) {
    const DWORD bits = attributes & kSettable;
    return bits != 0 ? bits : FILE_ATTRIBUTE_NORMAL;
}

bool is_read_only(const std::string& path, DWORD& attributes) {
    attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_busy(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

}  // namespace

FileHandle open_for_reading(const std::string& path) {
    return handle_of(::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool close_file(FileHandle file) { return ::CloseHandle(raw_handle(file)) != 0; }

FileHandle create_exclusive(const std::string& path, int& error) {
    // CREATE_NEW fails on any name that exists, whatever bears it.
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    error = h == INVALID_HANDLE_VALUE ? win::last_errno() : 0;
    return handle_of(h);
}

bool name_taken(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int remove_name(const std::string& path) {
    if (::DeleteFileA(path.c_str())) return 0;
    DWORD code = ::GetLastError();
    // A read-only file refuses deletion where POSIX would remove the name:
    // its attribute goes first, and comes back if the delete still fails.
    DWORD attributes = 0;
    if (code == ERROR_ACCESS_DENIED && is_read_only(path, attributes) &&
        ::SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
        if (::DeleteFileA(path.c_str())) return 0;
        code = ::GetLastError();
        ::SetFileAttributesA(path.c_str(), attributes);
    }
    return win::errno_from(code);
}

int link_name(const std::string& existing, const std::string& new_name) {
    return ::CreateHardLinkA(new_name.c_str(), existing.c_str(), nullptr) ? 0 : win::last_errno();
}

int rename_name(const std::string& from, const std::string& to) {
    // A read-only target refuses to be replaced: its attribute is cleared for
    // the move and put back if the move fails. (Its other names, a backup
    // made as a hard link, lose it too: the caller restores the backup's.)
    DWORD attributes = 0;
    const bool read_only = is_read_only(to, attributes);
    if (read_only) ::SetFileAttributesA(to.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kReplaceTries; ++attempt) {
        if (attempt > 0) ::Sleep(kReplacePauseMs);
        if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
        code = ::GetLastError();
        if (!is_busy(code)) break;
    }
    if (read_only) ::SetFileAttributesA(to.c_str(), attributes);
    return win::errno_from(code);
}

bool links_refused(int error) { return error == ENOTSUP || error == EXDEV || error == EMLINK; }

int stat_path(const std::string& path, FileInfo& info) {
    // No access to the content is asked for, so a file held open by another
    // program can still be looked at; the flag lets directories open too.
    const HANDLE h = ::CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                   nullptr);
    if (h == INVALID_HANDLE_VALUE) return win::last_errno();
    const int error = stat_handle(h, info);
    ::CloseHandle(h);
    return error;
}

int stat_file(FileHandle file, FileInfo& info) { return stat_handle(raw_handle(file), info); }

int copy_attributes(FileHandle file, const FileInfo& info) {
    FILE_BASIC_INFO basic{};
    // Zero times leave the file's times as they are.
    basic.FileAttributes = settable(info.attributes);
    return ::SetFileInformationByHandle(raw_handle(file), FileBasicInfo, &basic, sizeof basic) ? 0
                                                                                               : win::last_errno();
}

int restore_attributes(const std::string& path, const FileInfo& info) {
    return ::SetFileAttributesA(path.c_str(), settable(info.attributes)) ? 0 : win::last_errno();
}

int give_new_file_mode(FileHandle) {
    // A file made with CreateFileA already has what any new file gets here:
    // the attribute bits of a plain file, and the access its directory
    // hands down to what is made in it.
    return 0;
}

int copy_times(FileHandle file, const FileInfo& info) {
    const FILETIME accessed = filetime_from(info.accessed), modified = filetime_from(info.modified);
    return ::SetFileTime(raw_handle(file), nullptr, &accessed, &modified) ? 0 : win::last_errno();
}

int copy_contents(FileHandle from, FileHandle to, bool& read_failed) {
    ByteBlock buf(kCopyBlock);
    FileSource source(from);
    FileSink sink(to);
    std::uint64_t offset = 0;
    read_failed = false;
    for (;;) {
        const long got = source.read_at(offset, buf.data(), buf.size());
        if (got < 0) {
            read_failed = true;
            return win::last_errno();
        }
        if (got == 0) return 0;
        if (!sink.write_at(offset, buf.data(), static_cast<std::size_t>(got))) {
            const int error = win::last_errno();
            return error != 0 ? error : EIO;
        }
        offset += static_cast<std::uint64_t>(got);
    }
}

std::string resolve_path(const std::string& path, int& error) {
    // The system's own name of the open file: links resolved, the full path,
    // and every component in the case the directory holds, so each name of
    // one file (A.HTM, a.htm, .\a.htm, a short 8.3 name) gives one string.
    const HANDLE h = ::CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                   nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = win::last_errno();
        return {};
    }
    std::vector<char> buf(MAX_PATH + 1);
    DWORD length = ::GetFinalPathNameByHandleA(h, buf.data(), static_cast<DWORD>(buf.size()),
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= buf.size()) {
        buf.resize(length + 1);
        length = ::GetFinalPathNameByHandleA(h, buf.data(), static_cast<DWORD>(buf.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    const DWORD code = length == 0 || length >= buf.size() ? ::GetLastError() : ERROR_SUCCESS;
    ::CloseHandle(h);
    if (code != ERROR_SUCCESS || length == 0) {
        error = code != ERROR_SUCCESS ? win::errno_from(code) : EIO;
        return {};
    }
    std::string text(buf.data(), length);
    // The answer comes in the long-path form: \\?\C:\dir\name, or
    // \\?\UNC\server\share\name for a network path.
    if (text.rfind("\\\\?\\UNC\\", 0) == 0) {
        text = "\\\\" + text.substr(8);
    } else if (text.rfind("\\\\?\\", 0) == 0) {
        text = text.substr(4);
    }
    // The system's ANSI calls take no longer names than this.
    if (text.size() >= MAX_PATH) {
        error = ENAMETOOLONG;
        return {};
    }
    error = 0;
    return text;
}

std::string name_key(const std::string& path) {
    std::string key = path;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

std::string directory_of(const std::string& path) {
    const std::size_t start = file_name_start(path);
    if (start == 0) return ".";
    // "C:" alone is the drive's current directory; "C:\" and "\" are roots.
    if (path[start - 1] == ':') return path.substr(0, start);
    std::size_t end = start - 1;
    if (end == 0 || (end == 2 && path[1] == ':')) return path.substr(0, end + 1);
    return path.substr(0, end);
}

std::size_t file_name_start(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator != std::string_view::npos) return separator + 1;
    // A drive with no directory: C:page.htm
    if (path.size() >= 2 && path[1] == ':') return 2;
    return 0;
}

void use_binary_standard_streams() {
    // No CR LF translation and no Ctrl-Z as the end of input: bytes are bytes.
    (void)_setmode(_fileno(stdin), _O_BINARY);
    (void)_setmode(_fileno(stdout), _O_BINARY);
    (void)_setmode(_fileno(stderr), _O_BINARY);
}

// The Windows heap keeps freed blocks for reuse by itself.
void keep_freed_memory_for_reuse() {}

}  // namespace zorbel
