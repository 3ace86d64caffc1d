// Both passes over a page in one step.
#pragma once

#include <string>

#include "core/run.h"

namespace zorbel {

// Reads the page once and streams it through both passes, the line pass
// feeding the rewrite. A page that ends unchanged costs no work file when
// its new content fits in run.held_output_bound bytes; a changed one gets
// one work file, one replace and one backup, and the progress lines of the
// passes that changed it. What the user sees, on disk and on the console,
// is what the line pass and then the rewrite pass over the file give.
//
// False, with nothing done (no page or backup touched, no work file left,
// no message, the carried state as it was), when the page must go through
// the two passes instead: the options need their work files (-k, -d), the
// page cannot be read, or the passes would stop part-way (an error, a
// failed write or replace), which the two passes then meet and report as
// they always do. A work file that cannot be made ends the run here as it
// would in the two passes.
bool tidy_in_one_step(Run& run, const std::string& path);

}  // namespace zorbel
