// File operations of the platform. Everything the passes do to the file
// system goes through here. Operations that can fail return 0 on success and
// the system's error number (errno) otherwise, so callers can tell "not
// there" from "refused" without reading a global.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <time.h>

namespace zorbel {

// Opens a file for reading; the descriptor, or -1.
int open_for_reading(const std::string& path);

// Closes a descriptor; false when the close reported an error.
bool close_fd(int fd);

// Creates a new, empty file for reading and writing. Never opens anything
// that already bears the name (a file, a directory, a symbolic link, even a
// dangling one): that gives EEXIST. The descriptor, or -1 with error set.
int create_exclusive(const std::string& path, mode_t mode, int& error);

// True when anything bears the name; a symbolic link counts as itself and is
// not followed.
bool name_taken(const std::string& path);

// unlink, link, rename; 0 or the error number.
int remove_name(const std::string& path);
int link_name(const std::string& existing, const std::string& new_name);
int rename_name(const std::string& from, const std::string& to);

// What the replace sequence needs to know about a file.
struct FileInfo {
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;          // type and permission bits
    uid_t owner = 0;
    gid_t group = 0;
    timespec accessed{};
    timespec modified{};
    bool is_regular() const;
};

// stat (follows symbolic links) and fstat; 0 or the error number.
int stat_path(const std::string& path, FileInfo& info);
int stat_fd(int fd, FileInfo& info);

// Gives the open file the owner and group of info where the process may set
// them (quietly keeping its own where not), then its permission bits.
// 0 or the error number of the permission change.
int copy_owner_and_mode(int fd, const FileInfo& info);

// Gives the open file the permission bits of any newly created file: read
// and write for all, less the process's file-creation mask. For files the
// user asked for, which are not copies of a page. 0 or the error number.
int give_new_file_mode(int fd);

// Sets the access and modification times of the open file; 0 or the error.
int copy_times(int fd, const FileInfo& info);

// Copies all bytes of from_fd (from its start) to to_fd (from its start).
// 0, or the error number of the first failed read or write; read_failed
// says which side failed.
int copy_contents(int from_fd, int to_fd, bool& read_failed);

// The path with every symbolic link resolved (realpath); empty on failure,
// with error set.
std::string resolve_path(const std::string& path, int& error);

// The directory part of a path ("." for a bare name, "/" for a name in the root).
std::string directory_of(const std::string& path);

}  // namespace zorbel
