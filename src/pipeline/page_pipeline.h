// The page pipeline: what the tool does to one page file. The page streams
// through both passes in one step, with one work file and one replace when
// it changes and none when it does not; where that cannot be (-k, -d, or a
// failure part-way), the line pass and then the rewrite pass run one after
// the other, each with a work file of its own. Either way the page, its
// backup and the result are the same. Nothing here prints or ends the run:
// the result says what became of the page, and the caller reports it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/carried_state.h"
#include "core/errors.h"
#include "core/settings.h"
#include "workfiles/held_work_file.h"
#include "workfiles/work_files.h"

namespace zorbel {

// 1 MiB: most pages' new content fits, so most pages need no work file
// until they prove changed, while memory stays far below the few MiB the
// tool may take.
inline constexpr std::size_t kHeldOutputBound = 1024 * 1024;

// What became of one page.
struct PageOutcome {
    bool lines_stripped = false;  // the line pass changed the page (and so made its backup)
    bool updated = false;         // the rewrite pass changed it
    // What stopped the page, if anything; a notice lets the run go on.
    std::optional<Error> error;
};

// How one pass over the page file ended.
struct PassResult {
    bool committed = false;  // it changed the page and put the new content in place
    std::optional<Error> error;
};

class PagePipeline {
public:
    // The settings are read, never changed, and must outlive the pipeline.
    explicit PagePipeline(const RunSettings& settings) : settings_(settings) {}

    // Both passes over the page: in one step where it can, otherwise the
    // line pass and then the rewrite pass.
    PageOutcome process(const std::string& path);

    // The one step. Nothing, with nothing done (no page or backup touched,
    // no work file left, the carried state as it was), when the page must
    // go through the two passes instead: the options need their work files
    // (-k, -d), the page cannot be read, or the passes would stop part-way
    // (an error, a failed write or replace), which the two passes then meet
    // and report as they always do. A work file that cannot be made stops
    // the page here, as it would in the two passes.
    std::optional<PageOutcome> tidy_in_one_step(const std::string& path);

    // The line pass over the file: skipped when debug_map_name is set or
    // strip_trailing is off; otherwise the file is streamed into a work
    // file, which replaces the file with a backup when something was
    // removed, and is deleted (or kept, with keep_temps) when not.
    PassResult strip_lines(const std::string& path);

    // The rewrite pass over the file, through a work file that replaces the
    // file when the pass changed it. lines_stripped: the line pass changed
    // this page in this run, so its backup is already made.
    PassResult rewrite_file(const std::string& path, bool lines_stripped);

    WorkFiles& work_files() { return work_files_; }

    // The rewrite state carried from this page to the next.
    CarriedState carried;

    // Off, every page goes through the two passes (tests compare the two).
    bool one_step = true;

    // The one step's memory for a page's new content, up to its bound.
    HeldMemory held{kHeldOutputBound, {}};

private:
    const RunSettings& settings_;
    WorkFiles work_files_;
};

}  // namespace zorbel
