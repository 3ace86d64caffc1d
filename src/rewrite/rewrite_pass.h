// The rewrite pass: quotes, apostrophes, &nbsp;, wrapping, the anchor fix.
#pragma once

#include <string>

#include "core/settings.h"
#include "platform/byte_io.h"
#include "rewrite/echo_stream.h"
#include "rewrite/tokenizer.h"

namespace zorbel {

struct RewriteOutcome {
    bool changed = false;      // the text was altered and is worth committing
    bool quote_error = false;  // a quote is still open and paragraphs do not reset it
    bool read_failed = false;  // the input could not be read to its end
    bool write_failed = false; // the work file could not be written or cut
    // The input ended inside a DATETIME stamp's old text ("very lengthy"):
    // the pass stopped there, and the work file holds everything written up
    // to there, not cut at the write position.
    bool stamp_unended = false;
    CarriedState carried;      // the carried state for the next file
};

// How a rewrite runs, besides what it rewrites.
struct RewriteMode {
    // Every output line after the first starts with the quote state.
    bool debug_prefixes = false;
    // Off, every byte goes through the tokenizer one at a time (the same
    // result, slower: tests compare the two).
    bool bulk = true;
    std::size_t block_size = kDefaultBlockSize;  // bytes per read and per write
};

// The rewrite core: rewrites one page's bytes from input into work (which
// starts empty) and leaves work cut at the final write position. It starts
// from the carried state given and hands back the one for the next page in
// the outcome; stamps read the clock. It prints nothing and throws nothing
// of its own: every way it can end is in the outcome.
RewriteOutcome rewrite_stream(ByteSource& input, ByteSink& work, const Options& options, CarriedState carried,
                              const Clock& clock, const RewriteMode& mode = {});

// Reads a tag handed back by the tokenizer token by token, up to its '>'
// outside quoted attribute values, wrapping blanks outside them. first is
// the tag's first token; s.tag_values is the scan the tokenizer set when it
// handed the tag back.
void continue_tag(RewriteState& s, TokenCode first);

}  // namespace zorbel
