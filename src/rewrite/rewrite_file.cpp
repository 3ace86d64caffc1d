// The rewrite pass over one file on disk: the file is read in place, the
// result goes into a work file in the current directory, and the work file
// replaces the file only when the pass changed it.
#include <optional>
#include <string>

#include "core/report.h"
#include "platform/byte_io.h"
#include "platform/files.h"
#include "rewrite/rewrite_pass.h"
#include "workfiles/work_files.h"

namespace zorbel {

namespace {

// Both names lead to one file.
bool same_file(const std::string& a, const std::string& b) {
    FileInfo first, second;
    return stat_path(a, first) == 0 && stat_path(b, second) == 0 && first.volume == second.volume &&
           first.file_id == second.file_id;
}

// The work file stays on disk under its own name; only its descriptor goes.
void close_work(WorkFile& work) { work.keep(); }

// One run of the core over the page into the work file, from the carried
// state given. The shell's part: a stamp with no tag after it, a read error
// and a write error end the run here with their messages.
RewriteOutcome run_pass(Run& run, const std::string& path, OwnedFile& input, WorkFile& work, CarriedState carried,
                        bool prefixes) {
    FileSource source(input.get());
    FileSink sink(work.file);
    const RewriteMode mode{.debug_prefixes = prefixes, .block_size = run.block_size};
    const RewriteOutcome outcome = rewrite_stream(source, sink, run.options, carried, run.clock, mode);
    if (outcome.stamp_unended) {
        // The work file stays on disk with what was written.
        close_work(work);
        report_unended_stamp(run.console);
    }
    if (outcome.read_failed) {
        (void)input.close();
        remove_work_file(work);
        die(run.console, kExitFileError, "couldn't read " + path + ".\n");
    }
    if (outcome.write_failed) fail_work_write(run, path, work);
    run.after_newline = outcome.carried.after_newline;
    run.crlf_collapse_active = outcome.carried.crlf_collapse_active;
    return outcome;
}

}  // namespace

void rewrite_file(Run& run, const std::string& path) {
    OwnedFile input(open_for_reading(path));
    if (!input.valid()) {
        report(run.console, kExitOk, "couldn't open " + path);
        return;
    }
    WorkFile work = new_temp_file(run);
    if (!work.file.valid()) die_cannot_open(run.console, work.name, "wb+");

    const CarriedState carried{run.after_newline, run.crlf_collapse_active};
    RewriteOutcome outcome = run_pass(run, path, input, work, carried, false);

    if (outcome.quote_error) {
        const std::optional<std::string>& map_name = run.options.debug_map_name;
        if (!map_name) {
            close_work(work);
            report(run.console, kExitFatalReport, "unbalanced quotes in " + path + " (try -d option)");
            return;
        }
        // The map is the same pass again from the same carried state, with
        // the quote state written at the start of every line.
        if (!FileSink(work.file).truncate(0)) fail_work_write(run, path, work);
        run_pass(run, path, input, work, carried, true);
        // The map is a new file the user asked for, not a copy of the page:
        // it loses the work file's private mode.
        (void)give_new_file_mode(work.file);
        close_work(work);
        // The map takes the requested name, replacing any file of that name,
        // but never the page itself: that would lose the page. Where it
        // cannot take the name, it stays under the work file's name, and the
        // message says where it is.
        std::string map_at = work.name;
        if (!same_file(path, *map_name)) {
            (void)remove_name(*map_name);
            if (rename_name(work.name, *map_name) == 0) map_at = *map_name;
        }
        report(run.console, kExitFatalReport, "unbalanced quotes in " + path + " (see " + map_at + ")");
        return;
    }

    (void)input.close();
    if (outcome.changed) {
        commit_with_backup(run, path, work, run.lines_stripped);
        run.console.out(updated_line(path));
    } else {
        discard_work_file(run, work);
    }
}

std::string updated_line(const std::string& path) { return "Updated " + path + "\n"; }

}  // namespace zorbel
