// Work files and backups: every pass writes into a work file in the current
// directory and, when it changed the file, puts the work file in the file's
// place with the old content kept beside it as "name.b~k".
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/errors.h"
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

// The first work-file name; each search for a free name counts on from
// here like an odometer.
inline constexpr const char* kFirstWorkFileName = "AAAAAAA~.Z~B";

// The path with ".b~k" in place of its extension (the last component's part
// from its last dot on; a last component without a dot gains ".b~k"). The
// last component starts after the platform's last directory separator.
std::string backup_name(const std::string& path);

// True for a page's name: its last component's extension begins with
// ".htm", in any case (.htm, .html, .HTM).
bool has_html_extension(std::string_view path);

// True for a file whose own extension is exactly ".b~k": it would be its own
// backup, so it is never processed.
bool is_backup_file(const std::string& path);

// A backup this run made for another file, as the batch would write the
// two paths.
struct BackupHeld {
    std::string backup;
    std::string page;
};

// The work files and backups of one run: the name odometer, and the backups
// the run made, which no later commit of the run may replace. One object per
// run; it prints nothing and ends nothing: every failure is an Error.
class WorkFiles {
public:
    // Finds a free name from temp_name (with the extension replaced when one
    // is given) and creates that file exclusively, empty, in the current
    // directory. A name borne by anything (file, directory, symbolic link),
    // or taken between the look and the create, moves the odometer on; the
    // file is never opened through an existing name. All names taken:
    // kNoWorkFileName. Any other failure to create: kCannotOpen with the
    // name and the mode "w". The file is created open to its owner only: it
    // holds a copy of a page that may be private, and the replace gives it
    // the attributes of the file it replaces.
    Expected<WorkFile> make_temp_file(const char* extension);

    // make_temp_file with the work-file extension ".Z~B".
    Expected<WorkFile> new_temp_file();

    // Puts the work file (still open) in the place of the processed file.
    // Without backup_taken the old content is kept under backup_name of the
    // file, made as a hard link (a copy where links are refused) after any
    // old backup is removed; the work file is then renamed over the file, so
    // the file's name always holds either the old or the new content. A
    // symbolic link is followed: the file it points to is replaced and
    // backed up beside itself. The new file gets the permission bits (and,
    // where allowed, owner and group) of the old one; on Windows its
    // attribute bits, and a read-only page stays read-only, as does its
    // backup. Closes the work file.
    //
    // A backup made earlier in this run is never replaced: a file committed
    // a second time in the run (named twice, matched by two patterns, or
    // reached through a link) takes its backup as already taken, and a
    // commit whose backup name holds another file's backup from this run
    // fails. Every backup made is recorded.
    //
    // Any failure leaves the file's old content under its name, removes the
    // work file and gives kCannotReplace (kCannotWrite when the new content
    // could not be written out) with the path as given.
    std::optional<Error> commit_with_backup(const std::string& path, WorkFile& work, bool backup_taken);

    // The backup that this run made for another file under the backup name
    // of the file at path (index.htm and index.html share index.b~k), if
    // any. Such a file must not be processed: its commit would replace the
    // only copy of the other file's original.
    std::optional<BackupHeld> backup_of_another_file(const std::string& path) const;

    // Work-file name template; advanced like an odometer and never reset,
    // so each search for a free name starts where the last one ended.
    std::string temp_name = kFirstWorkFileName;

private:
    // A backup this run made: the page it holds, by its resolved path and
    // by its path as the batch wrote it, and the backup's resolved path.
    struct BackupRecord {
        std::string page;
        std::string page_as_given;
        std::string backup;
    };
    // Keyed by the backup's resolved path as name_key gives it (on Windows,
    // two spellings of one name are one key).
    std::map<std::string, BackupRecord> backups_made_;

    std::optional<ErrorKind> replace_with_backup(const std::string& path, WorkFile& work, bool backup_taken,
                                                 WorkFile& staged);
    bool take_earlier_backup(const std::string& target, const std::string& backup, bool& backup_taken) const;
};

// A pass that changed nothing: closes the work file and deletes it unless
// it is to be kept (-k).
void discard_work_file(WorkFile& work, bool keep);

}  // namespace zorbel
