#include "cli/batch.h"

#include "cli/report.h"
#include "platform/dir_search.h"
#include "platform/files.h"
#include "workfiles/work_files.h"

namespace zorbel {

void process_file(Invocation& run, const std::string& path) {
    // A backup would be its own backup name: replacing it would delete the
    // file it is meant to keep. It can only get here through the question.
    if (is_backup_file(path)) {
        run.console.err("Skipped backup file \"" + path + "\"\n");
        return;
    }
    // Its backup name holds another file's original from this run.
    if (const auto other = run.pipeline.work_files().backup_of_another_file(path)) {
        run.console.err("Skipped \"" + path + "\": " + other->backup + " holds the backup of " + other->page + "\n");
        return;
    }
    report_page(run, path, run.pipeline.process(path));
}

void report_page(Invocation& run, const std::string& path, const PageOutcome& page) {
    // Both progress lines in one write: one system call, and processes side
    // by side on one pipe keep them together.
    std::string progress;
    if (page.lines_stripped) progress += lines_stripped_line(run.settings.options, path);
    if (page.updated) progress += updated_line(path);
    if (!progress.empty()) run.console.out(progress);
    if (page.error) report(run.console, *page.error);
}

std::string lines_stripped_line(const Options& options, const std::string& path) {
    // "emtpy" is misspelt on purpose: it is the tool's own message, and
    // scripts look for it as it is.
    return format_message(options.strip_empty_lines ? "Removed trailing spaces/emtpy lines from %s\n"
                                                    : "Removed trailing spaces from %s\n",
                          path.c_str());
}

std::string updated_line(const std::string& path) { return "Updated " + path + "\n"; }

int ask_key(Console& console) {
    const int key = console.read_key();
    return key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
}

int accept_html_name(Invocation& run, const std::string& path) {
    if (has_html_extension(path)) return 1;
    if (!run.settings.options.ask_non_html) {
        run.console.err("Skipped non-html file \"" + path + "\"\n");
        return 0;
    }
    run.console.err("Process non-html file \"" + path + "\" (Y/)? ");
    return ask_key(run.console) == 'Y' ? 1 : 0;
}

void process_pattern(Invocation& run, const std::string& pattern, const FileStep& step) {
    FileSearch search(pattern);
    std::optional<std::string> path = search.next_match();
    if (!path) {
        report(run.console, Error{ErrorKind::kNoMatch, pattern, ""});
        return;
    }
    for (; path; path = search.next_match()) {
        if (accept_html_name(run, *path)) step(run, *path);
    }
}

}  // namespace zorbel
