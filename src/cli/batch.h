// The file batch: each file argument is expanded into the plain files it
// names, filtered by extension, and handed to the per-file passes.
#pragma once

#include <functional>
#include <string>

#include "core/run.h"

namespace zorbel {

// What is done with one accepted file. The tool's own step is process_file;
// tests pass their own to watch the order and the filtering.
using FileStep = std::function<void(Run&, const std::string& path)>;

// The line pass, then the rewrite pass, over one file; a backup file is
// skipped with a notice instead.
void process_file(Run& run, const std::string& path);

// Expands one file argument and runs the step over every accepted match.
void process_pattern(Run& run, const std::string& pattern, const FileStep& step = process_file);

// One key from the console, upper-cased (only a..z change); 0 when no key
// could be read, which declines any question.
int ask_key(Console& console);

// 1 when the file is to be processed: its extension begins with ".htm" in
// any case, or the user said yes at the question.
int is_html_name(Run& run, const std::string& path);

}  // namespace zorbel
