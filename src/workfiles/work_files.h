// Work files and backups: every pass writes into a work file in the current
// directory and, when it changed the file, puts the work file in the file's
// place with the old content kept beside it as "name.b~k".
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "core/run.h"
#include "platform/files.h"

namespace zorbel {

// A work file: its name and the open file (read-write) a pass writes
// through. It owns both: when it goes out of scope it is closed and, unless
// it took a page's place or was kept, removed, so that no way out of a pass
// (a fatal exit included) leaves it behind by accident.
class WorkFile {
public:
    WorkFile() = default;
    WorkFile(std::string name_, FileHandle file_) : name(std::move(name_)), file(file_) {}
    WorkFile(WorkFile&& other) noexcept;
    WorkFile& operator=(WorkFile&& other) noexcept;
    ~WorkFile();

    // Closes the file now; false when the close reported an error.
    bool close();
    // Closes it and leaves it on disk under its name.
    void keep();
    // Closes it and removes it now.
    void remove();
    // It now bears another file's name (a page's): nothing is left to remove.
    void disown();

    std::string name;  // in the current directory, or beside a page for a staged copy
    FileHandle file;

private:
    void remove_unless_kept();
    bool kept_ = false;
};

// Advances the seven-letter base at the start of name like an odometer,
// rightmost letter first. 0 when a next name was formed, -1 when every
// letter wrapped past Z (all read A again).
int bump_temp_base(std::string& name);

// Finds a free name from run.temp_name (with the extension replaced when one
// is given) and creates that file exclusively, empty, in the current directory.
// A name borne by anything (file, directory, symbolic link), or taken between
// the look and the create, moves the odometer on; the file is never opened
// through an existing name. All names taken: "Ran out of temp names!?",
// status 1. Any other failure to create: "couldn't open %s for w.", status 3.
// The file is created open to its owner only: it holds a copy of a page that
// may be private, and the replace gives it the attributes of the file it
// replaces.
WorkFile make_temp_file(Run& run, const char* extension);

// make_temp_file with the work-file extension ".Z~B".
WorkFile new_temp_file(Run& run);

// The path with ".b~k" in place of its extension (the last component's part
// from its last dot on; a last component without a dot gains ".b~k"). The
// last component starts after the platform's last directory separator.
std::string backup_name(const std::string& path);

// True for a file whose own extension is exactly ".b~k": it would be its own
// backup, so it is never processed.
bool is_backup_file(const std::string& path);

// A backup this run made for another file, as the batch would write the
// two paths.
struct BackupHeld {
    std::string backup;
    std::string page;
};

// The backup that this run made for another file under the backup name of
// the file at path (index.htm and index.html share index.b~k), if any. Such
// a file must not be processed: its commit would replace the only copy of
// the other file's original.
std::optional<BackupHeld> backup_of_another_file(const Run& run, const std::string& path);

// Puts the work file (still open) in the place of the processed file. Without
// backup_taken the old content is kept under backup_name of the file, made as
// a hard link (a copy where links are refused) after any old backup is
// removed; the work file is then renamed over the file, so the file's name
// always holds either the old or the new content. A symbolic link is
// followed: the file it points to is replaced and backed up beside itself.
// The new file gets the permission bits (and, where allowed, owner and
// group) of the old one; on Windows its attribute bits, and a read-only
// page stays read-only, as does its backup. Any failure leaves the file's old
// content under its name, prints "couldn't replace %s." (or "couldn't write
// %s." when the new content could not be written out) with the path as
// given and ends the run with status 3; the work file goes with its owner.
// Closes the work file.
//
// A backup made earlier in this run is never replaced: a file committed a
// second time in the run (named twice, matched by two patterns, or reached
// through a link) takes its backup as already taken, and a commit whose
// backup name holds another file's backup from this run fails as above.
// Every backup made is recorded in run.backups_made.
void commit_with_backup(Run& run, const std::string& path, WorkFile& work, bool backup_taken);

// The same replace, for a caller that has another way to go on: a failure
// removes the work file and gives the format of the message commit_with_backup
// would print ("couldn't replace %s.\n" or "couldn't write %s.\n"), with
// nothing printed and the page's old content under its name. Null on success.
const char* try_commit_with_backup(Run& run, const std::string& path, WorkFile& work, bool backup_taken);

// A pass that changed nothing: closes the work file and deletes it unless
// keep_temps is on.
void discard_work_file(Run& run, WorkFile& work);

// Closes the work file and removes it, whatever keep_temps says (a failed
// pass leaves nothing behind).
void remove_work_file(WorkFile& work);

// A write to the work file failed: removes it, prints "couldn't write %s."
// with the processed file's path, and ends the run with status 3.
[[noreturn]] void fail_work_write(Run& run, const std::string& path, WorkFile& work);

}  // namespace zorbel
