#include "workfiles/work_files.h"

#include <cerrno>

#include "platform/files.h"

namespace zorbel {

namespace {

// The seven letters of the base; the eighth character is the tilde.
constexpr std::size_t kBaseLetters = 7;
constexpr const char* kWorkExtension = ".Z~B";
constexpr const char* kBackupExtension = ".b~k";

// The two ways a replace fails.
constexpr ErrorKind kCannotReplace = ErrorKind::kCannotReplace;
constexpr ErrorKind kCannotWrite = ErrorKind::kCannotWrite;

// A fresh file in the given directory, named from the work-file template and
// created exclusively. It uses its own odometer: temp_name describes the
// current directory only. An empty work file when none could be made.
WorkFile create_beside(const std::string& directory) {
    std::string name = kFirstWorkFileName;
    for (;;) {
        std::string path = directory + "/" + name;
        int error = 0;
        FileHandle file = create_exclusive(path, error);
        if (file.valid()) return WorkFile{path, file};
        if (error != EEXIST || bump_temp_base(name) != 0) return WorkFile{};
    }
}

enum class StageResult { kStaged, kNoFile, kCopyFailed };

// Copies the new content from source into a fresh file in the target's
// directory, so that a rename can put it in place.
StageResult stage_copy(const std::string& directory, FileHandle source, WorkFile& staged) {
    staged = create_beside(directory);
    if (!staged.file.valid()) return StageResult::kNoFile;
    bool read_failed = false;
    return copy_contents(source, staged.file, read_failed) == 0 ? StageResult::kStaged : StageResult::kCopyFailed;
}

// Backs up the target under its backup name: the old backup goes, the
// target's file gets a second name. Where the file system refuses hard
// links the content is copied, with the target's attributes and times.
int make_backup(const std::string& target, const std::string& backup, const FileInfo& original) {
    int error = remove_name(backup);
    if (error != 0 && error != ENOENT) return error;
    error = link_name(target, backup);
    if (error == 0 || !links_refused(error)) return error;

    OwnedFile source(open_for_reading(target));
    if (!source.valid()) return EIO;
    OwnedFile copy(create_exclusive(backup, error));
    if (!copy.valid()) return error;
    bool read_failed = false;
    error = copy_contents(source.get(), copy.get(), read_failed);
    if (error == 0) error = copy_attributes(copy.get(), original);
    if (error == 0) error = copy_times(copy.get(), original);
    if (!copy.close() && error == 0) error = EIO;
    if (error != 0) (void)remove_name(backup);
    return error;
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

Expected<WorkFile> WorkFiles::make_temp_file(const char* extension) {
    if (extension != nullptr) temp_name = temp_name.substr(0, kBaseLetters + 1) + extension;
    for (;;) {
        // The exclusive create is the test for a free name. A name borne by
        // anything is taken, whatever error the platform gives for it (a
        // directory may be refused rather than found to exist).
        int error = 0;
        FileHandle file = create_exclusive(temp_name, error);
        if (file.valid()) return WorkFile{temp_name, file};
        if (error != EEXIST && !name_taken(temp_name)) return Error{ErrorKind::kCannotOpen, temp_name, "w"};
        if (bump_temp_base(temp_name) != 0) return Error{ErrorKind::kNoWorkFileName, "", ""};
    }
}

Expected<WorkFile> WorkFiles::new_temp_file() { return make_temp_file(kWorkExtension); }

std::string backup_name(const std::string& path) {
    const std::size_t component = file_name_start(path);
    std::size_t dot = path.find_last_of('.');
    std::size_t cut = dot != std::string::npos && dot >= component ? dot : path.size();
    return path.substr(0, cut) + kBackupExtension;
}

namespace {

// The extension of the path's last component: its last '.' and what
// follows, or empty when that component has no '.'.
std::string_view extension_of(std::string_view path) {
    const std::string_view name = path.substr(file_name_start(path));
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool begins_with_htm(std::string_view extension) {
    constexpr std::string_view kHtm = ".HTM";
    if (extension.size() < kHtm.size()) return false;
    for (std::size_t i = 0; i < kHtm.size(); ++i) {
        if (ascii_upper(extension[i]) != kHtm[i]) return false;
    }
    return true;
}

}  // namespace

bool has_html_extension(std::string_view path) { return begins_with_htm(extension_of(path)); }

bool is_backup_file(const std::string& path) { return backup_name(path) == path; }

std::optional<BackupHeld> WorkFiles::backup_of_another_file(const std::string& path) const {
    if (backups_made_.empty()) return std::nullopt;
    int error = 0;
    const std::string target = resolve_path(path, error);
    if (target.empty()) return std::nullopt;  // the passes report what is wrong with it
    const auto made = backups_made_.find(name_key(backup_name(target)));
    if (made == backups_made_.end() || made->second.page == target) return std::nullopt;
    // The backup as the batch would write it: beside the path as given,
    // unless that path is a link to a file elsewhere.
    std::string shown = backup_name(path);
    if (resolve_path(shown, error) != made->second.backup) shown = made->second.backup;
    return BackupHeld{shown, made->second.page_as_given};
}

namespace {

// The file a commit replaces, and what the replace must hand on to it.
struct Target {
    std::string path;       // with every link resolved
    std::string directory;  // where the new content must lie for the rename
    std::string backup;     // its backup name
    FileInfo original;      // the old file's attributes, owner and times
};

// The file the name leads to: a plain file, and not one that would be its
// own backup. Symbolic links are followed and stay as they are.
bool find_target(const std::string& path, bool backup_taken, Target& target) {
    int error = 0;
    target.path = resolve_path(path, error);
    if (target.path.empty() || stat_path(target.path, target.original) != 0 || !target.original.is_regular() ||
        (!backup_taken && is_backup_file(target.path))) {
        return false;
    }
    target.directory = directory_of(target.path);
    target.backup = backup_name(target.path);
    return true;
}

// The work file given the target's attributes and closed, ready to take
// the target's place. Gives what failed, or nothing.
std::optional<ErrorKind> ready_incoming(WorkFile& work, const Target& target) {
    if (copy_attributes(work.file, target.original) != 0) return kCannotReplace;
    if (!work.close()) return kCannotWrite;
    return std::nullopt;
}

// Moves the new content over the target in one step. Where the work file
// lies on another file system (or on the same device but another mount),
// the rename refuses; the content is then staged beside the target, given
// the target's attributes, and renamed from there. Asking the rename first
// costs nothing in the usual case, where the work file and the page share
// a file system. Gives what failed, or nothing.
std::optional<ErrorKind> move_into_place(WorkFile& work, const Target& target, WorkFile& staged) {
    // No fsync before the rename. A killed process loses nothing without it:
    // the kernel keeps what was written, and the rename is atomic. After a
    // power loss the backup still holds the old content, being the old
    // file's own inode, while an fsync per file would cost far more than
    // the whole pass over a typical page.
    const int error = rename_name(work.name, target.path);
    if (error == 0) return std::nullopt;
    if (error != EXDEV) return kCannotReplace;
    OwnedFile source(open_for_reading(work.name));
    if (!source.valid()) return kCannotReplace;
    switch (stage_copy(target.directory, source.get(), staged)) {
        case StageResult::kStaged: break;
        case StageResult::kNoFile: return kCannotReplace;
        // A failed copy of the new content is a failed write.
        case StageResult::kCopyFailed: return kCannotWrite;
    }
    if (copy_attributes(staged.file, target.original) != 0) return kCannotReplace;
    if (!staged.close()) return kCannotWrite;
    if (rename_name(staged.name, target.path) != 0) return kCannotReplace;
    return std::nullopt;
}

}  // namespace

// A backup of this run under the target's backup name already holds a page
// as it was before the run. It is the target's own: nothing more to make.
// Another file's: the commit must not go on. false in that case.
bool WorkFiles::take_earlier_backup(const std::string& target, const std::string& backup,
                                    bool& backup_taken) const {
    const auto made = backups_made_.find(name_key(backup));
    if (made == backups_made_.end()) return true;
    if (made->second.page != target) return false;
    backup_taken = true;
    return true;
}

// The steps of the replace. Gives what failed, or nothing when the new
// content is in place.
std::optional<ErrorKind> WorkFiles::replace_with_backup(const std::string& path, WorkFile& work, bool backup_taken,
                                                        WorkFile& staged) {
    Target target;
    if (!find_target(path, backup_taken, target) || !take_earlier_backup(target.path, target.backup, backup_taken)) {
        return kCannotReplace;
    }
    if (const auto failure = ready_incoming(work, target)) return failure;
    if (!backup_taken) {
        if (make_backup(target.path, target.backup, target.original) != 0) return kCannotReplace;
        backups_made_[name_key(target.backup)] = BackupRecord{target.path, path, target.backup};
    }
    if (const auto failure = move_into_place(work, target, staged)) return failure;
    // Where the replace had to change the old file's attributes (a
    // read-only file on Windows), its backup, which is that same file, gets
    // them back. Nothing is lost if it cannot: the content is in place.
    if (!backup_taken) (void)restore_attributes(target.backup, target.original);
    return std::nullopt;
}

std::optional<Error> WorkFiles::commit_with_backup(const std::string& path, WorkFile& work, bool backup_taken) {
    WorkFile staged;  // removed again on every way out unless it took the target's name
    if (const auto failure = replace_with_backup(path, work, backup_taken, staged)) {
        work.remove();
        return Error{*failure, path, ""};
    }
    // The new content bears the target's name now: the staged copy if there
    // was one (the work file is then removed), else the work file.
    if (!staged.name.empty()) {
        staged.disown();
        work.remove();
    } else {
        work.disown();
    }
    return std::nullopt;
}

WorkFile::WorkFile(WorkFile&& other) noexcept
    : name(std::move(other.name)), file(std::exchange(other.file, FileHandle{})), kept_(other.kept_) {
    other.name.clear();
}

WorkFile& WorkFile::operator=(WorkFile&& other) noexcept {
    if (this != &other) {
        remove_unless_kept();
        name = std::move(other.name);
        other.name.clear();
        file = std::exchange(other.file, FileHandle{});
        kept_ = other.kept_;
    }
    return *this;
}

WorkFile::~WorkFile() { remove_unless_kept(); }

void WorkFile::remove_unless_kept() {
    (void)close();
    if (!kept_ && !name.empty()) (void)remove_name(name);
    name.clear();
}

bool WorkFile::close() {
    if (!file.valid()) return true;
    return close_file(std::exchange(file, FileHandle{}));
}

void WorkFile::keep() {
    (void)close();
    kept_ = true;
}

void WorkFile::remove() {
    kept_ = false;
    remove_unless_kept();
}

void WorkFile::disown() {
    (void)close();
    name.clear();
}

void discard_work_file(WorkFile& work, bool keep) {
    if (keep) {
        work.keep();
    } else {
        work.remove();
    }
}

}  // namespace zorbel
