#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "platform/byte_io.h"

namespace zorbel {

namespace {

// 64 KiB per read and write when copying: one system call per block on
// ordinary pages, and the memory stays flat whatever the file's size.
constexpr std::size_t kCopyBlock = 64 * 1024;

FileInfo info_from(const struct stat& st) {
    FileInfo info;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.mode = st.st_mode;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    info.accessed = st.st_atim;
    info.modified = st.st_mtim;
    return info;
}

int result(int rc) { return rc == 0 ? 0 : errno; }

}  // namespace

int open_for_reading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

bool close_fd(int fd) { return ::close(fd) == 0; }

int create_exclusive(const std::string& path, mode_t mode, int& error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    error = fd < 0 ? errno : 0;
    return fd;
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

bool FileInfo::is_regular() const { return S_ISREG(mode); }

int stat_path(const std::string& path, FileInfo& info) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return errno;
    info = info_from(st);
    return 0;
}

int stat_fd(int fd, FileInfo& info) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return errno;
    info = info_from(st);
    return 0;
}

int copy_owner_and_mode(int fd, const FileInfo& info) {
    // Owner first: a change of owner clears set-user-ID and set-group-ID
    // bits, which the mode change then puts back. An unprivileged process
    // may still hand the file to one of its own groups.
    if (::fchown(fd, info.owner, info.group) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), info.group);
    return result(::fchmod(fd, info.mode & 07777));
}

int give_new_file_mode(int fd) {
    // The mask can only be read by setting it; one thread, so putting it
    // straight back is safe.
    const mode_t mask = ::umask(0);
    (void)::umask(mask);
    return result(::fchmod(fd, 0666 & ~mask));
}

int copy_times(int fd, const FileInfo& info) {
    timespec times[2] = {info.accessed, info.modified};
    return result(::futimens(fd, times));
}

int copy_contents(int from_fd, int to_fd, bool& read_failed) {
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

std::string directory_of(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace zorbel
