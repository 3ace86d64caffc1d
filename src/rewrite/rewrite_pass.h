// The rewrite pass: quotes, apostrophes, &nbsp;, wrapping, the anchor fix.
#pragma once

#include <string>

#include "core/run.h"
#include "platform/byte_io.h"
#include "rewrite/echo_stream.h"
#include "rewrite/tokenizer.h"

namespace zorbel {

struct RewriteOutcome {
    bool changed = false;      // the text was altered and is worth committing
    bool quote_error = false;  // a quote is still open and paragraphs do not reset it
    bool read_failed = false;  // the input could not be read to its end
    bool write_failed = false; // the work file could not be written or cut
};

// Rewrites one file's bytes from input into work (which starts empty) and
// leaves work cut at the final write position. The flags that carry from one
// file to the next are taken from run and handed back to it. With
// debug_prefixes on, every output line after the first starts with the quote
// state. A DATETIME marker with no tag after it ends the run (status 1).
// With bulk off every byte goes through the tokenizer one at a time (the
// same result, slower: tests compare the two).
RewriteOutcome rewrite_stream(Run& run, ByteSource& input, ByteSink& work, bool debug_prefixes = false,
                              bool bulk = true);

// Reads a tag handed back by the tokenizer token by token, wrapping blanks
// outside double-quoted attribute values. first is the tag's first token.
void continue_tag(RewriteState& s, TokenCode first);

// The pass over one file: rewrites it through a work file and, when it
// changed, commits it with its backup and prints "Updated <path>".
void rewrite_file(Run& run, const std::string& path);

// The progress line of a rewrite pass that changed the file at path.
std::string updated_line(const std::string& path);

}  // namespace zorbel
