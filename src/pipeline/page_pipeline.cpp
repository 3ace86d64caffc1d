#include "pipeline/page_pipeline.h"

#include <new>

#include "api/page_run.h"
#include "cleanup/line_pass.h"
#include "platform/byte_io.h"
#include "platform/files.h"
#include "rewrite/rewrite_pass.h"

namespace zorbel {

namespace {

PassResult failed(Error error) { return PassResult{false, std::move(error)}; }

Error error_at(ErrorKind kind, const std::string& path, std::string detail = "") {
    return Error{kind, path, std::move(detail)};
}

// Both names lead to one file.
bool same_file(const std::string& a, const std::string& b) {
    FileInfo first, second;
    return stat_path(a, first) == 0 && stat_path(b, second) == 0 && first.volume == second.volume &&
           first.file_id == second.file_id;
}

// One run of the rewrite core over the page into the work file, from the
// carried state given. A stamp with no tag after it keeps the work file on
// disk with what was written; a read or write error removes it.
std::optional<Error> rewrite_into(const RunSettings& settings, const std::string& path, OwnedFile& input,
                                  WorkFile& work, CarriedState carried, bool prefixes, RewriteOutcome& outcome) {
    FileSource source(input.get());
    FileSink sink(work.file);
    const RewriteMode mode{.debug_prefixes = prefixes, .block_size = settings.block_size};
    outcome = rewrite_stream(source, sink, settings.options, carried, settings.clock, mode);
    if (outcome.stamp_unended) {
        work.keep();
        return error_at(ErrorKind::kVeryLengthy, path);
    }
    if (outcome.read_failed) {
        (void)input.close();
        work.remove();
        return error_at(ErrorKind::kCannotRead, path);
    }
    if (outcome.write_failed) {
        work.remove();
        return error_at(ErrorKind::kCannotWrite, path);
    }
    return std::nullopt;
}

}  // namespace

PageOutcome PagePipeline::process(const std::string& path) {
    if (std::optional<PageOutcome> done = tidy_in_one_step(path)) return *done;
    PageOutcome page;
    const PassResult lines = strip_lines(path);
    page.lines_stripped = lines.committed;
    if (lines.error) {
        page.error = lines.error;
        return page;
    }
    const PassResult rewrite = rewrite_file(path, lines.committed);
    page.updated = rewrite.committed;
    page.error = rewrite.error;
    return page;
}

std::optional<PageOutcome> PagePipeline::tidy_in_one_step(const std::string& path) {
    const Options& options = settings_.options;
    if (!one_step || options.keep_temps || options.debug_map_name) return std::nullopt;
    OwnedFile page(open_for_reading(path));
    if (!page.valid()) return std::nullopt;

    // The passes run on a copy of the carried state, so that a page left to
    // the two passes starts them from the same state.
    CarriedState after = carried;
    FileSource source(page.get());
    HeldWorkFile tidied(work_files_, held);
    const PageResult result = tidy_stream(settings_, after, source, tidied, UnchangedPage::kNotCopied);
    if (tidied.error()) return PageOutcome{.error = tidied.error()};
    if (result.error != PageError::kNone) return std::nullopt;

    // The page is closed before it is replaced: Windows replaces no file
    // that is still open.
    if (!page.close()) return std::nullopt;
    if (result.changed()) {
        WorkFile work;
        if (!tidied.into_work_file(work)) {
            if (tidied.error()) return PageOutcome{.error = tidied.error()};
            return std::nullopt;
        }
        if (work_files_.commit_with_backup(path, work, false)) return std::nullopt;
    }
    carried = after;
    return PageOutcome{.lines_stripped = result.lines_changed, .updated = result.rewrite_changed, .error = {}};
}

PassResult PagePipeline::strip_lines(const std::string& path) {
    const Options& options = settings_.options;
    if (options.debug_map_name || !options.strip_trailing) return {};

    OwnedFile input(open_for_reading(path));
    if (!input.valid()) return failed(error_at(ErrorKind::kCannotOpen, path, "r"));
    Expected<WorkFile> made = work_files_.new_temp_file();
    if (!made.ok()) return failed(made.error());
    WorkFile& work = made.value();

    LineStreamResult result;
    try {
        FileSource source(input.get());
        FileSink sink(work.file);
        result = strip_lines_stream(source, sink, options.strip_empty_lines != 0, settings_.block_size,
                                    options.keep_verbatim != 0);
    } catch (const std::bad_alloc&) {
        work.remove();
        return failed(error_at(ErrorKind::kNoMemory, path));
    }
    if (result.status != LineStreamStatus::kOk) {
        work.remove();
        return failed(error_at(
            result.status == LineStreamStatus::kReadFailed ? ErrorKind::kCannotRead : ErrorKind::kCannotWrite, path));
    }

    // The page is closed before it is replaced: Windows replaces no file
    // that is still open.
    (void)input.close();
    if (!result.stripped) {
        discard_work_file(work, options.keep_temps != 0);
        return {};
    }
    if (std::optional<Error> error = work_files_.commit_with_backup(path, work, false)) return failed(*error);
    return PassResult{true, std::nullopt};
}

PassResult PagePipeline::rewrite_file(const std::string& path, bool lines_stripped) {
    OwnedFile input(open_for_reading(path));
    if (!input.valid()) return failed(error_at(ErrorKind::kOpenSkipped, path));
    Expected<WorkFile> made = work_files_.new_temp_file();
    if (!made.ok()) return failed(made.error());
    WorkFile& work = made.value();

    const CarriedState from = carried;
    RewriteOutcome outcome;
    if (auto error = rewrite_into(settings_, path, input, work, from, false, outcome)) return failed(*error);
    carried = outcome.carried;

    if (outcome.quote_error) {
        const std::optional<std::string>& map_name = settings_.options.debug_map_name;
        if (!map_name) {
            work.keep();
            return failed(error_at(ErrorKind::kUnbalancedQuotes, path));
        }
        // The map is the same pass again from the same carried state, with
        // the quote state written at the start of every line.
        if (!FileSink(work.file).truncate(0)) {
            work.remove();
            return failed(error_at(ErrorKind::kCannotWrite, path));
        }
        if (auto error = rewrite_into(settings_, path, input, work, from, true, outcome)) return failed(*error);
        carried = outcome.carried;
        // The map is a new file the user asked for, not a copy of the page:
        // it loses the work file's private mode.
        (void)give_new_file_mode(work.file);
        work.keep();
        // The map takes the requested name, replacing any file of that name,
        // but never the page itself: that would lose the page. Where it
        // cannot take the name, it stays under the work file's name, and the
        // message says where it is.
        std::string map_at = work.name;
        if (!same_file(path, *map_name)) {
            (void)remove_name(*map_name);
            if (rename_name(work.name, *map_name) == 0) map_at = *map_name;
        }
        return failed(error_at(ErrorKind::kUnbalancedQuotesMap, path, map_at));
    }

    (void)input.close();
    if (!outcome.changed) {
        discard_work_file(work, settings_.options.keep_temps != 0);
        return {};
    }
    if (std::optional<Error> error = work_files_.commit_with_backup(path, work, lines_stripped)) {
        return failed(*error);
    }
    return PassResult{true, std::nullopt};
}

}  // namespace zorbel
