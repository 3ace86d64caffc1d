// Both passes over one page in one stream, with the result the file passes
// give one after the other: the rewrite reads the line pass's output only
// when the line pass removed something. The one sequence behind the public
// API and the program's own one-step path.
#pragma once

#include "core/console.h"
#include "core/run.h"
#include "zorbel/zorbel.h"

namespace zorbel {

// Runs the passes with run's options, clock and carried state, handing the
// carried state back to run. The passes print nothing to console, which
// must be run's: every way they can end is in the result. The sink ends
// holding the page as the program would leave it. The page is read in
// blocks, and read again only when the line pass changed nothing but line
// ends, or changed the page and the rewrite did not: memory stays a few
// blocks, whatever the page's length and the sink's.
//
// A page that neither pass changes is copied to the sink only with
// kCopied: the program drops such a sink's content, and the copy would
// read the page a second time for nothing.
enum class UnchangedPage { kCopied, kNotCopied };
PageResult tidy_stream(Run& run, StringConsole& console, ByteSource& page, ByteSink& out,
                       UnchangedPage unchanged = UnchangedPage::kCopied);

// The page settings of the program's options, the inverse of what the API
// does with a PageOptions.
PageOptions page_options_of(const Options& options);

}  // namespace zorbel
