// What zorbel-fmt needs from the tool's internals, in one place: pages
// opened and read, new content put in a page's place with its backup, the
// record of the backups a group of pages made, and the few things the
// platform answers (the clock, whether output is a terminal, the system's
// words for an error).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "zorbel/byte_stream.h"
#include "zorbel/zorbel.h"

namespace zorbel::fmt {

// The local time now, for every stamp of the run.
StampTime clock_now();

// Whether standard output is a terminal.
bool stdout_is_terminal();

// Standard input as a source read at any offset, where it is a file
// rather than a pipe; null otherwise.
std::unique_ptr<ByteSource> standard_input_if_file();

// Standard input and output pass bytes unchanged.
void binary_standard_streams();

// The system's words for an error number of <cerrno>.
std::string system_reason(int error);

// What a path names, following symbolic links.
enum class PathKind { kMissing, kFile, kFolder, kOther };
PathKind kind_of(const std::string& path, int& error);

// The file a path leads to, with every link resolved; empty, with error set,
// when it cannot be found.
std::string resolved_path(const std::string& path, int& error);

// The key under which pages share a backup name (index.htm, index.html):
// the backup name of the resolved page, as the platform compares names.
std::string backup_key(const std::string& resolved);

// True for a name whose extension is exactly .b~k: a backup, never tidied.
bool is_backup_name(const std::string& path);

// True for a name whose extension begins with .htm, in any case.
bool is_page_name(const std::string& path);

// A page opened for reading, its bytes read at any offset.
class PageFile {
public:
    // error is 0, or why the page could not be opened.
    PageFile(const std::string& path, int& error);
    ~PageFile();
    ByteSource& source();
    // Closes the page, as it must be before it is replaced (Windows
    // replaces no file that is open); the source reads nothing after.
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A failure: what failed ("cannot replace") and the system's reason.
struct Failure {
    std::string what;
    std::string reason;
};

// Replaces pages that share a backup name, one after the other, with the
// backup rules of a run: a backup holds the page as it was before the run
// and is never replaced within it; a page whose backup name holds another
// page's backup from the run is not replaced.
class PageReplacer {
public:
    explicit PageReplacer(bool keep_backups);
    ~PageReplacer();

    // The notice for a page that must be skipped because another page of
    // this run holds its backup name, or nothing.
    std::optional<std::string> held_by_another(const std::string& path) const;

    // Writes content into a work file beside the page and puts it in the
    // page's place (with its backup unless backups are off), keeping the
    // page's mode and, where allowed, owner. On failure the page keeps its
    // old content and no work file is left.
    std::optional<Failure> replace(const std::string& path, ByteSource& content);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zorbel::fmt
