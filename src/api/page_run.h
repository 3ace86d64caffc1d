// Both passes over one page in memory, one after the other as the file
// passes run them: the rewrite reads the line pass's output only when the
// line pass removed something. The one sequence behind the public API and
// the program's own one-step path for pages that fit in memory.
#pragma once

#include "core/console.h"
#include "core/run.h"
#include "zorbel/zorbel.h"

namespace zorbel {

// Runs the passes with run's options, clock and carried state, handing the
// carried state back to run. The passes print nothing to console, which
// must be run's: every way they can end is in the result. The sink starts
// empty and ends holding the page as the program would leave it.
PageResult tidy_stream(Run& run, StringConsole& console, ByteSource& page, ByteSink& out);

// The page settings of the program's options, the inverse of what the API
// does with a PageOptions.
PageOptions page_options_of(const Options& options);

}  // namespace zorbel
