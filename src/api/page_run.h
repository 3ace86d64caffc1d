// Both passes over one page in one stream, with the result the file passes
// give one after the other: the rewrite reads the line pass's output only
// when the line pass removed something. The one sequence behind the public
// API and the program's own one-step path.
#pragma once

#include "core/carried_state.h"
#include "core/errors.h"
#include "core/settings.h"
#include "platform/byte_io.h"
#include "zorbel/zorbel.h"

namespace zorbel {

// Runs the passes with the settings, from the carried state given, and
// hands the carried state for the next page back in it. Nothing is printed:
// every way the passes can end is in the result. The sink ends
// holding the page as the program would leave it. The page is read in
// blocks, and read again only when the line pass changed nothing but line
// ends, or changed the page and the rewrite did not: memory stays a few
// blocks, whatever the page's length and the sink's.
//
// A page that neither pass changes is copied to the sink only with
// kCopied: the program drops such a sink's content, and the copy would
// read the page a second time for nothing.
enum class UnchangedPage { kCopied, kNotCopied };
PageResult tidy_stream(const RunSettings& settings, CarriedState& carried, ByteSource& page, ByteSink& out,
                       UnchangedPage unchanged = UnchangedPage::kCopied);

// The error value of a page error, naming the page path.
Error error_of(PageError error, const std::string& path);

// The page settings of the program's options, the inverse of what the API
// does with a PageOptions.
PageOptions page_options_of(const Options& options);

}  // namespace zorbel
