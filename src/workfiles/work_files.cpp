#include "workfiles/work_files.h"

#include <cerrno>

#include "core/report.h"
#include "platform/files.h"

namespace zorbel {

namespace {

// The seven letters of the base; the eighth character is the tilde.
constexpr std::size_t kBaseLetters = 7;
constexpr const char* kWorkExtension = ".Z~B";
constexpr const char* kBackupExtension = ".b~k";

[[noreturn]] void fail_with(Run& run, const char* format, const std::string& path) {
    die(run.console, kExitFileError, format_message(format, path.c_str()));
}

// A fresh file in the given directory, named from the work-file template and
// created exclusively. It uses its own odometer: run.temp_name describes the
// current directory only. An invalid file when none could be made.
WorkFile create_beside(const std::string& directory) {
    std::string name = "AAAAAAA~.Z~B";
    for (;;) {
        std::string path = directory + "/" + name;
        int error = 0;
        FileHandle file = create_exclusive(path, error);
        if (file.valid()) return WorkFile{path, file};
        if (error != EEXIST || bump_temp_base(name) != 0) return WorkFile{};
    }
}

void close_quietly(WorkFile& file) {
    if (file.file.valid()) (void)close_file(file.file);
    file.file = FileHandle{};
}

// The new content's copy on the target's file system, when the work file
// lies on another one. Cleaned up on every path of the replace.
struct Staged {
    WorkFile file;
    bool used = false;
    ~Staged() {
        if (!used) return;
        close_quietly(file);
        if (!file.name.empty()) (void)remove_name(file.name);
    }
};

enum class StageResult { kStaged, kNoFile, kCopyFailed };

// Copies the new content from source into a fresh file in the target's
// directory, so that a rename can put it in place.
StageResult stage_copy(const std::string& directory, FileHandle source, Staged& staged) {
    staged.used = true;
    staged.file = create_beside(directory);
    if (!staged.file.file.valid()) return StageResult::kNoFile;
    bool read_failed = false;
    return copy_contents(source, staged.file.file, read_failed) == 0 ? StageResult::kStaged
                                                                      : StageResult::kCopyFailed;
}

// Backs up the target under its backup name: the old backup goes, the
// target's file gets a second name. Where the file system refuses hard
// links the content is copied, with the target's attributes and times.
int make_backup(const std::string& target, const std::string& backup, const FileInfo& original) {
    int error = remove_name(backup);
    if (error != 0 && error != ENOENT) return error;
    error = link_name(target, backup);
    if (error == 0 || !links_refused(error)) return error;

    FileHandle source = open_for_reading(target);
    if (!source.valid()) return EIO;
    FileHandle copy = create_exclusive(backup, error);
    if (!copy.valid()) {
        (void)close_file(source);
        return error;
    }
    bool read_failed = false;
    error = copy_contents(source, copy, read_failed);
    if (error == 0) error = copy_attributes(copy, original);
    if (error == 0) error = copy_times(copy, original);
    (void)close_file(source);
    if (!close_file(copy) && error == 0) error = EIO;
    if (error != 0) (void)remove_name(backup);
    return error;
}

// Notes the backup just made. Its path is shown as the batch would write it:
// beside the path as given, unless that path is a link to a file elsewhere.
void record_backup(Run& run, const std::string& path, const std::string& target, const std::string& backup) {
    int error = 0;
    std::string shown = backup_name(path);
    if (resolve_path(shown, error) != backup) shown = backup;
    run.backups_made[name_key(backup)] = Run::BackupRecord{target, path, shown};
}

}  // namespace

int bump_temp_base(std::string& name) {
    for (std::size_t i = kBaseLetters; i-- > 0;) {
        if (name[i] < 'Z') {
            ++name[i];
            return 0;
        }
        name[i] = 'A';
    }
    return -1;
}

WorkFile make_temp_file(Run& run, const char* extension) {
    if (extension != nullptr) run.temp_name = run.temp_name.substr(0, kBaseLetters + 1) + extension;
    for (;;) {
        if (!name_taken(run.temp_name)) {
            int error = 0;
            FileHandle file = create_exclusive(run.temp_name, error);
            if (file.valid()) return WorkFile{run.temp_name, file};
            // Anything else than "someone took it meanwhile" is a real failure.
            if (error != EEXIST) die_cannot_open(run.console, run.temp_name, "w");
        }
        if (bump_temp_base(run.temp_name) != 0) report(run.console, kExitFatalReport, "Ran out of temp names!?");
    }
}

WorkFile new_temp_file(Run& run) { return make_temp_file(run, kWorkExtension); }

std::string backup_name(const std::string& path) {
    const std::size_t component = file_name_start(path);
    std::size_t dot = path.find_last_of('.');
    std::size_t cut = dot != std::string::npos && dot >= component ? dot : path.size();
    return path.substr(0, cut) + kBackupExtension;
}

bool is_backup_file(const std::string& path) { return backup_name(path) == path; }

const Run::BackupRecord* backup_of_another_file(const Run& run, const std::string& path) {
    int error = 0;
    const std::string target = resolve_path(path, error);
    if (target.empty()) return nullptr;  // the passes report what is wrong with it
    const auto made = run.backups_made.find(name_key(backup_name(target)));
    if (made == run.backups_made.end() || made->second.page == target) return nullptr;
    return &made->second;
}

void commit_with_backup(Run& run, const std::string& path, WorkFile& work, bool backup_taken) {
    // The file the name leads to; symbolic links stay as they are.
    int error = 0;
    std::string target = resolve_path(path, error);
    FileInfo original;
    if (target.empty() || stat_path(target, original) != 0 || !original.is_regular() ||
        (!backup_taken && is_backup_file(target))) {
        remove_work_file(work);
        fail_with(run, "couldn't replace %s.\n", path);
    }
    const std::string directory = directory_of(target);
    const std::string backup = backup_name(target);
    if (const auto made = run.backups_made.find(name_key(backup)); made != run.backups_made.end()) {
        // The backup already holds a page as it was before this run.
        if (made->second.page != target) {
            remove_work_file(work);
            fail_with(run, "couldn't replace %s.\n", path);
        }
        backup_taken = true;
    }

    // The new content must lie on the target's file system for the rename.
    Staged staged;
    FileInfo work_info, directory_info;
    if (stat_file(work.file, work_info) != 0 || stat_path(directory, directory_info) != 0) {
        remove_work_file(work);
        fail_with(run, "couldn't replace %s.\n", path);
    }
    if (work_info.volume != directory_info.volume) {
        const StageResult staging = stage_copy(directory, work.file, staged);
        if (staging != StageResult::kStaged) {
            remove_work_file(work);
            // A failed copy of the new content is a failed write.
            fail_with(run, staging == StageResult::kNoFile ? "couldn't replace %s.\n" : "couldn't write %s.\n", path);
        }
    }

    WorkFile& incoming = staged.used ? staged.file : work;
    if (copy_attributes(incoming.file, original) != 0) {
        remove_work_file(work);
        fail_with(run, "couldn't replace %s.\n", path);
    }
    bool closed = close_file(work.file);
    work.file = FileHandle{};
    if (staged.used) {
        closed = close_file(staged.file.file) && closed;
        staged.file.file = FileHandle{};
    }
    if (!closed) {
        remove_work_file(work);
        fail_with(run, "couldn't write %s.\n", path);
    }

    if (!backup_taken) {
        if (make_backup(target, backup, original) != 0) {
            remove_work_file(work);
            fail_with(run, "couldn't replace %s.\n", path);
        }
        record_backup(run, path, target, backup);
    }

    // No fsync before the rename. A killed process loses nothing without it:
    // the kernel keeps what was written, and the rename is atomic. After a
    // power loss the backup still holds the old content, being the old
    // file's own inode, while an fsync per file would cost far more than
    // the whole pass over a typical page.
    error = rename_name(incoming.name, target);
    if (error == EXDEV && !staged.used) {
        // Same device but another mount: copy across after all.
        FileHandle source = open_for_reading(work.name);
        if (!source.valid()) {
            remove_work_file(work);
            fail_with(run, "couldn't replace %s.\n", path);
        }
        error = stage_copy(directory, source, staged) == StageResult::kStaged ? 0 : EIO;
        (void)close_file(source);
        if (error == 0) error = copy_attributes(staged.file.file, original);
        if (staged.file.file.valid() && !close_file(staged.file.file) && error == 0) error = EIO;
        staged.file.file = FileHandle{};
        if (error == 0) error = rename_name(staged.file.name, target);
    }
    if (error != 0) {
        remove_work_file(work);
        fail_with(run, "couldn't replace %s.\n", path);
    }
    // Where the replace had to change the old file's attributes (a
    // read-only file on Windows), its backup, which is that same file, gets
    // them back. Nothing is lost if it cannot: the content is in place.
    if (!backup_taken) (void)restore_attributes(backup, original);
    // The staged copy now bears the target's name; only the work file is left.
    if (staged.used) {
        staged.file.name.clear();
        (void)remove_name(work.name);
    }
}

void discard_work_file(Run& run, WorkFile& work) {
    close_quietly(work);
    if (!run.options.keep_temps) (void)remove_name(work.name);
}

void remove_work_file(WorkFile& work) {
    close_quietly(work);
    if (!work.name.empty()) (void)remove_name(work.name);
}

void fail_work_write(Run& run, const std::string& path, WorkFile& work) {
    remove_work_file(work);
    fail_with(run, "couldn't write %s.\n", path);
}

}  // namespace zorbel
