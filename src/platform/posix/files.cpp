#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <unistd.h>

#include "platform/byte_io.h"

namespace zorbel {

namespace {

// 64 KiB per read and write when copying: one system call per block on
// ordinary pages, and the memory stays flat whatever the file's size.
constexpr std::size_t kCopyBlock = 64 * 1024;

// A new file is private until the replace hands it the mode of the file it
// replaces: it may hold a copy of a page that is.
constexpr mode_t kNewFileMode = 0600;

int fd_of(FileHandle file) { return static_cast<int>(file.raw); }
FileHandle handle_of(int fd) { return FileHandle{fd}; }

FileTime time_from(const timespec& t) { return FileTime{t.tv_sec, t.tv_nsec}; }
timespec timespec_from(const FileTime& t) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(t.seconds);
    ts.tv_nsec = static_cast<long>(t.nanoseconds);
    return ts;
}

FileInfo info_from(const struct stat& st) {
    FileInfo info;
    info.volume = static_cast<std::uint64_t>(st.st_dev);
    info.file_id = static_cast<std::uint64_t>(st.st_ino);
    info.regular = S_ISREG(st.st_mode);
    info.attributes = static_cast<std::uint32_t>(st.st_mode & 07777);
    info.owner = static_cast<std::uint32_t>(st.st_uid);
    info.group = static_cast<std::uint32_t>(st.st_gid);
    info.accessed = time_from(st.st_atim);
    info.modified = time_from(st.st_mtim);
    return info;
}

int result(int rc) { return rc == 0 ? 0 : errno; }

}  // namespace

FileHandle open_for_reading(const std::string& path) { return handle_of(::open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

bool close_file(FileHandle file) { return ::close(fd_of(file)) == 0; }

FileHandle create_exclusive(const std::string& path, int& error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
    error = fd < 0 ? errno : 0;
    return handle_of(fd);
}

bool name_taken(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

int remove_name(const std::string& path) { return result(::unlink(path.c_str())); }

int link_name(const std::string& existing, const std::string& new_name) {
    return result(::link(existing.c_str(), new_name.c_str()));
}

int rename_name(const std::string& from, const std::string& to) {
    return result(::rename(from.c_str(), to.c_str()));
}

bool links_refused(int error) {
    return error == EPERM || error == EMLINK || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
           error == EXDEV;
}

int stat_path(const std::string& path, FileInfo& info) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return errno;
    info = info_from(st);
    return 0;
}

int stat_file(FileHandle file, FileInfo& info) {
    struct stat st;
    if (::fstat(fd_of(file), &st) != 0) return errno;
    info = info_from(st);
    return 0;
}

int copy_attributes(FileHandle file, const FileInfo& info) {
    // Owner first: a change of owner clears set-user-ID and set-group-ID
    // bits, which the mode change then puts back. An unprivileged process
    // may still hand the file to one of its own groups.
    const int fd = fd_of(file);
    if (::fchown(fd, static_cast<uid_t>(info.owner), static_cast<gid_t>(info.group)) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(info.group));
    return result(::fchmod(fd, static_cast<mode_t>(info.attributes & 07777)));
}

int give_new_file_mode(FileHandle file) {
    // The mask can only be read by setting it; one thread, so putting it
    // straight back is safe.
    const mode_t mask = ::umask(0);
    (void)::umask(mask);
    return result(::fchmod(fd_of(file), 0666 & ~mask));
}

int restore_attributes(const std::string&, const FileInfo&) {
    // The replace never changes the old file's permission bits here: the
    // backup, being that file, still has them.
    return 0;
}

int copy_times(FileHandle file, const FileInfo& info) {
    timespec times[2] = {timespec_from(info.accessed), timespec_from(info.modified)};
    return result(::futimens(fd_of(file), times));
}

int copy_contents(FileHandle from, FileHandle to, bool& read_failed) {
    const int from_fd = fd_of(from), to_fd = fd_of(to);
    ByteBlock buf(kCopyBlock);
    off_t offset = 0;
    read_failed = false;
    for (;;) {
        ssize_t got = ::pread(from_fd, buf.data(), buf.size(), offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            read_failed = true;
            return errno;
        }
        if (got == 0) return 0;
        const unsigned char* data = buf.data();
        std::size_t left = static_cast<std::size_t>(got);
        off_t at = offset;
        while (left > 0) {
            ssize_t put = ::pwrite(to_fd, data, left, at);
            if (put < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if (put == 0) return EIO;
            data += put;
            at += put;
            left -= static_cast<std::size_t>(put);
        }
        offset += got;
    }
}

std::string resolve_path(const std::string& path, int& error) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        error = errno;
        return {};
    }
    std::string text(resolved);
    std::free(resolved);
    error = 0;
    return text;
}

std::string name_key(const std::string& path) { return path; }

std::string directory_of(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::size_t file_name_start(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// The standard streams pass bytes unchanged here already.
void use_binary_standard_streams() {}

void keep_freed_memory_for_reuse() {
#if defined(__GLIBC__)
    // 8 MiB: more than the passes ever hold at once, so the heap never
    // shrinks between pages; blocks up to 4 MiB come from the heap rather
    // than from a mapping of their own that is returned when freed.
    (void)mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
    (void)mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
#endif
}

}  // namespace zorbel
