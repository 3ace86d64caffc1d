#include "cli/one_step.h"

#include <algorithm>
#include <utility>

#include "api/page_run.h"
#include "cleanup/line_pass.h"
#include "core/console.h"
#include "platform/byte_io.h"
#include "platform/files.h"
#include "rewrite/rewrite_pass.h"
#include "workfiles/work_files.h"

namespace zorbel {

namespace {

// Most pages are smaller than this: one read takes them whole.
constexpr std::size_t kFirstRead = 64 * 1024;

// The whole page, when it can be read and holds at most bound bytes.
bool read_small_page(const std::string& path, std::size_t bound, std::string& page) {
    OwnedFile file(open_for_reading(path));
    if (!file.valid()) return false;
    FileSource source(file.get());
    page.resize(std::min(kFirstRead, bound + 1));
    std::size_t held = 0;
    for (;;) {
        const long got = source.read_at(held, reinterpret_cast<unsigned char*>(page.data()) + held, page.size() - held);
        if (got < 0) return false;
        if (got == 0) break;
        held += static_cast<std::size_t>(got);
        if (held < page.size()) continue;
        if (held > bound) return false;
        if (held == kFirstRead) {
            // A page that fills the first read may be far larger: one byte
            // at the bound tells, before any more memory is taken for it.
            unsigned char beyond;
            const long more = source.read_at(bound, &beyond, 1);
            if (more != 0) return false;
        }
        page.resize(std::min(2 * page.size(), bound + 1));
    }
    page.resize(held);
    return true;
}

// The new content written to a fresh work file and put in the page's place
// with its backup. False, with the work file gone and the page untouched,
// when either step fails.
bool replace_page(Run& run, const std::string& path, const std::string& bytes) {
    WorkFile work = new_temp_file(run);
    if (!FileSink(work.file).write_at(0, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
        work.remove();
        return false;
    }
    return try_commit_with_backup(run, path, work, false) == nullptr;
}

}  // namespace

bool tidy_in_one_step(Run& run, const std::string& path) {
    const Options& options = run.options;
    if (run.one_step_bound == 0 || options.keep_temps || options.debug_map_name) return false;
    std::string page;
    if (!read_small_page(path, run.one_step_bound, page)) return false;

    // The passes run on a copy of the run's settings and carried state, so
    // that a page left to the two passes starts them from the same state.
    StringConsole quiet;
    Run scratch(quiet);
    scratch.options = options;
    scratch.clock = run.clock;
    scratch.block_size = run.block_size;
    scratch.after_newline = run.after_newline;
    scratch.crlf_collapse_active = run.crlf_collapse_active;
    StringSource source(std::move(page));
    StringSink tidied;
    const PageResult result = tidy_stream(scratch, quiet, source, tidied);
    if (result.error != PageError::kNone) return false;
    if (result.changed() && !replace_page(run, path, tidied.data)) return false;

    run.after_newline = scratch.after_newline;
    run.crlf_collapse_active = scratch.crlf_collapse_active;
    run.lines_stripped = result.lines_changed;
    if (result.lines_changed) run.console.out(lines_stripped_line(options, path));
    if (result.rewrite_changed) run.console.out(updated_line(path));
    return true;
}

}  // namespace zorbel
