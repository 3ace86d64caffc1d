// File operations of the platform. Everything the passes do to the file
// system goes through here, and nothing here shows how the platform does it.
// Operations that can fail return 0 on success and an error number otherwise,
// so callers can tell "not there" from "refused" without reading a global.
// The error numbers are those of <cerrno> on every platform (EEXIST, ENOENT,
// EXDEV, ...); an implementation whose system reports errors otherwise
// translates them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorbel {

// An open file: the platform's descriptor or handle, opaque to everyone else.
struct FileHandle {
    std::intptr_t raw = -1;
    bool valid() const { return raw != -1; }
};

// Opens an existing file for reading; an invalid handle when it cannot.
FileHandle open_for_reading(const std::string& path);

// Closes the file; false when the close reported an error (a write the
// system had still to finish failed).
bool close_file(FileHandle file);

// Owns an open file and closes it when it goes out of scope, so that no
// way out of a function, a fatal exit included, leaves it open.
class OwnedFile {
public:
    OwnedFile() = default;
    explicit OwnedFile(FileHandle file) : file_(file) {}
    ~OwnedFile() { (void)close(); }
    OwnedFile(OwnedFile&& other) noexcept : file_(other.release()) {}
    OwnedFile& operator=(OwnedFile&& other) noexcept {
        if (this != &other) {
            (void)close();
            file_ = other.release();
        }
        return *this;
    }
    FileHandle get() const { return file_; }
    bool valid() const { return file_.valid(); }
    // Closes the file now; false when the close reported an error.
    bool close() { return !file_.valid() || close_file(release()); }
    // Gives up ownership without closing.
    FileHandle release() {
        const FileHandle file = file_;
        file_ = FileHandle{};
        return file;
    }

private:
    FileHandle file_;
};

// Creates a new, empty file for reading and writing, open to its owner only
// until copy_attributes gives it another file's. Never opens anything that
// already bears the name (a file, a directory, a link, even a dangling one):
// that gives EEXIST. An invalid handle, with error set, when it cannot.
FileHandle create_exclusive(const std::string& path, int& error);

// True when anything bears the name; a symbolic link counts as itself and is
// not followed.
bool name_taken(const std::string& path);

// Removes a name; 0 or the error number.
int remove_name(const std::string& path);
// Gives the existing file a second name (a hard link). Where the file system
// has no hard links the error is one of those links_refused accepts.
int link_name(const std::string& existing, const std::string& new_name);
// Moves a file to a new name in one step, replacing a file that bears it.
// Fails with EXDEV where the two names lie on different file systems.
int rename_name(const std::string& from, const std::string& to);

// True for the errors of link_name that mean "no hard link can be made
// here" (a file system without them, or across file systems), as opposed to
// a real failure of the directory.
bool links_refused(int error);

// A point in time as the file system keeps it.
struct FileTime {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
};

// What the replace sequence needs to know about a file.
struct FileInfo {
    std::uint64_t volume = 0;      // the file system the file lies on
    std::uint64_t file_id = 0;     // the file within that file system
    bool regular = false;          // a plain file (not a directory, device, ...)
    // The bits copy_attributes hands on: permission bits on POSIX, the
    // attribute bits (read-only, archive, ...) on Windows.
    std::uint32_t attributes = 0;
    std::uint32_t owner = 0;       // user and group, where the platform has them
    std::uint32_t group = 0;
    FileTime accessed;
    FileTime modified;
    bool is_regular() const { return regular; }
};

// Looks up the file a path names (following symbolic links) or an open file;
// 0 or the error number.
int stat_path(const std::string& path, FileInfo& info);
int stat_file(FileHandle file, FileInfo& info);

// Gives the open file the attributes of info: the permission bits and, where
// the process may set them, owner and group (quietly keeping its own where
// not); on Windows the attribute bits. 0 or the error number.
int copy_attributes(FileHandle file, const FileInfo& info);

// Gives the file at path the attributes of info, as copy_attributes does for
// an open file. For a backup that shares its file with a page whose
// attributes the replace had to change on the way.
int restore_attributes(const std::string& path, const FileInfo& info);

// Gives the open file the permission bits of any newly created file: read
// and write for all, less the process's file-creation mask. For files the
// user asked for, which are not copies of a page. 0 or the error number.
int give_new_file_mode(FileHandle file);

// Sets the access and modification times of the open file; 0 or the error.
int copy_times(FileHandle file, const FileInfo& info);

// Copies all bytes of from (from its start) to the file to (from its start).
// 0, or the error number of the first failed read or write; read_failed
// says which side failed.
int copy_contents(FileHandle from, FileHandle to, bool& read_failed);

// The full path of the file a path names, with every symbolic link resolved:
// one string for every name of the same file (on a file system that ignores
// case, the case the directory holds). Empty on failure, with error set.
std::string resolve_path(const std::string& path, int& error);

// The form of a path under which every spelling of one name compares
// equal, for keeping names apart: the path itself on POSIX; on Windows,
// whose file systems ignore case, with the letters A to Z lowered.
std::string name_key(const std::string& path);

// The directory part of a path ("." for a bare name, the root for a name in
// the root).
std::string directory_of(const std::string& path);

// Where the last component of a path begins: after the last directory
// separator ('/'; on Windows also '\' and the ':' of a drive), or 0.
std::size_t file_name_start(std::string_view path);

// Sets the process's standard input, output and error to pass bytes
// unchanged (no line-end translation, no end-of-file character).
void use_binary_standard_streams();

// Keeps the memory the passes free at the end of a page for the next page,
// instead of handing it back to the system: a batch would otherwise ask for
// the same few hundred KiB again, and touch them fresh, for every page.
void keep_freed_memory_for_reuse();

}  // namespace zorbel
