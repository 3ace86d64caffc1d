// The one file of zorbel-fmt that uses the tool's internals (work files,
// the replace with backup, the backup record of a run, the platform layer).
#include "fmt/replace.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/settings.h"
#include "platform/byte_io.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/standard_streams.h"
#include "workfiles/work_files.h"


namespace zorbel::fmt {

namespace {

// The error of the system call that just failed, or fallback where the
// platform layer reported none.
int last_error(int fallback) { return errno != 0 ? errno : fallback; }

}  // namespace

StampTime clock_now() {
    const BrokenDownTime t = local_now();
    return StampTime{t.weekday, t.month, t.day, t.years_since_1900 + 1900, t.hour, t.minute};
}

bool stdout_is_terminal() { return zorbel::stdout_is_terminal(); }

namespace {

// Standard input read where it stood when the program started.
class StandardInputFile : public ByteSource {
public:
    StandardInputFile(FileHandle file, std::uint64_t start) : file_(file), start_(start) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override {
        return file_.read_at(start_ + offset, buf, n);
    }

private:
    FileSource file_;
    std::uint64_t start_;
};

}  // namespace

std::unique_ptr<ByteSource> standard_input_if_file() {
    std::uint64_t start = 0;
    const FileHandle file = standard_input_file(start);
    if (!file.valid()) return nullptr;
    return std::make_unique<StandardInputFile>(file, start);
}

void binary_standard_streams() { use_binary_standard_streams(); }

std::string system_reason(int error) { return std::generic_category().message(error); }

PathKind kind_of(const std::string& path, int& error) {
    FileInfo info;
    error = stat_path(path, info);
    if (error != 0) return PathKind::kMissing;
    if (info.is_regular()) return PathKind::kFile;
    std::error_code ec;
    return std::filesystem::is_directory(path, ec) ? PathKind::kFolder : PathKind::kOther;
}

std::string resolved_path(const std::string& path, int& error) { return resolve_path(path, error); }

std::string backup_key(const std::string& resolved) { return name_key(backup_name(resolved)); }

bool is_backup_name(const std::string& path) { return is_backup_file(path); }

bool is_page_name(const std::string& path) { return has_html_extension(path); }

struct PageFile::Impl {
    OwnedFile file;
    FileSource source{FileHandle{}};
};

PageFile::PageFile(const std::string& path, int& error) : impl_(std::make_unique<Impl>()) {
    FileInfo info;
    error = stat_path(path, info);
    if (error != 0) return;
    errno = 0;
    impl_->file = OwnedFile(open_for_reading(path));
    if (!impl_->file.valid()) {
        error = last_error(EACCES);
        return;
    }
    impl_->source = FileSource(impl_->file.get());
}

PageFile::~PageFile() = default;

ByteSource& PageFile::source() { return impl_->source; }

void PageFile::close() {
    (void)impl_->file.close();
    impl_->source = FileSource(FileHandle{});
}

struct PageReplacer::Impl {
    bool keep_backups;
    // The backups this group of pages made; its failures come back as
    // values.
    WorkFiles work_files;
};

PageReplacer::PageReplacer(bool keep_backups) : impl_(std::make_unique<Impl>()) {
    impl_->keep_backups = keep_backups;
}

PageReplacer::~PageReplacer() = default;

std::optional<std::string> PageReplacer::held_by_another(const std::string& path) const {
    const auto held = impl_->work_files.backup_of_another_file(path);
    if (!held) return std::nullopt;
    return held->backup + " holds the backup of " + held->page;
}

namespace {

// A fresh work file beside the page, so that the replace is one rename on
// one file system, and so that pages in several folders, tidied at once,
// each find their own free name.
WorkFile work_file_beside(const std::string& resolved, int& error) {
    const std::string folder = directory_of(resolved);
    std::string name = kFirstWorkFileName;
    for (;;) {
        const std::string path = folder + "/" + name;
        FileHandle file = create_exclusive(path, error);
        if (file.valid()) return WorkFile{path, file};
        if (error != EEXIST) return WorkFile{};
        if (bump_temp_base(name) != 0) return WorkFile{};
    }
}


}  // namespace

std::optional<Failure> PageReplacer::replace(const std::string& path, ByteSource& content) {
    int error = 0;
    const std::string resolved = resolve_path(path, error);
    if (resolved.empty()) return Failure{"cannot replace", system_reason(error)};
    WorkFile work = work_file_beside(resolved, error);
    if (!work.file.valid()) {
        return Failure{"cannot create a work file beside it", system_reason(error != 0 ? error : EEXIST)};
    }
    errno = 0;
    bool read_failed = false;
    FileSink into(work.file);
    if (!copy_bytes(content, into, kDefaultBlockSize, read_failed)) {
        return Failure{read_failed ? "cannot read the tidied page back" : "cannot write", system_reason(last_error(EIO))};
    }
    errno = 0;
    // Without backups the page is replaced as if its backup were taken.
    if (const std::optional<Error> failure = impl_->work_files.commit_with_backup(path, work, !impl_->keep_backups)) {
        const bool write = failure->kind == ErrorKind::kCannotWrite;
        return Failure{write ? "cannot write" : "cannot replace", system_reason(last_error(EIO))};
    }
    return std::nullopt;
}

}  // namespace zorbel::fmt
