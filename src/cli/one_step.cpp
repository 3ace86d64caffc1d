#include "cli/one_step.h"

#include "api/page_run.h"
#include "cleanup/line_pass.h"
#include "core/console.h"
#include "platform/byte_io.h"
#include "platform/files.h"
#include "rewrite/rewrite_pass.h"
#include "workfiles/held_work_file.h"
#include "workfiles/work_files.h"

namespace zorbel {

bool tidy_in_one_step(Run& run, const std::string& path) {
    const Options& options = run.options;
    if (!run.one_step || options.keep_temps || options.debug_map_name) return false;
    OwnedFile page(open_for_reading(path));
    if (!page.valid()) return false;

    // The passes run on a copy of the run's settings and carried state, so
    // that a page left to the two passes starts them from the same state.
    StringConsole quiet;
    Run scratch(quiet);
    scratch.options = options;
    scratch.clock = run.clock;
    scratch.block_size = run.block_size;
    scratch.after_newline = run.after_newline;
    scratch.crlf_collapse_active = run.crlf_collapse_active;
    FileSource source(page.get());
    HeldWorkFile tidied(run);
    const PageResult result = tidy_stream(scratch, quiet, source, tidied, UnchangedPage::kNotCopied);
    if (result.error != PageError::kNone) return false;

    // The page is closed before it is replaced: Windows replaces no file
    // that is still open.
    if (!page.close()) return false;
    if (result.changed()) {
        WorkFile work;
        if (!tidied.into_work_file(work) || try_commit_with_backup(run, path, work, false) != nullptr) return false;
    }

    run.after_newline = scratch.after_newline;
    run.crlf_collapse_active = scratch.crlf_collapse_active;
    run.lines_stripped = result.lines_changed;
    // Both progress lines in one write: one system call, and processes side
    // by side on one pipe keep them together.
    std::string progress;
    if (result.lines_changed) progress += lines_stripped_line(options, path);
    if (result.rewrite_changed) progress += updated_line(path);
    if (!progress.empty()) run.console.out(progress);
    return true;
}

}  // namespace zorbel
