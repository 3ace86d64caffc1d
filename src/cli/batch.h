// The file batch: each file argument is expanded into the plain files it
// names, filtered by extension, and handed to the page pipeline; what became
// of each page is reported here.
#pragma once

#include <functional>
#include <string>

#include "cli/invocation.h"

namespace zorbel {

// What is done with one accepted file. The tool's own step is process_file;
// tests pass their own to watch the order and the filtering.
using FileStep = std::function<void(Invocation&, const std::string& path)>;

// Both passes over one file, with their progress lines and messages; a
// backup file, or a file whose backup name holds another file's backup
// from this run, is skipped with a notice instead.
void process_file(Invocation& run, const std::string& path);

// Prints what became of the page: the progress line of each pass that
// changed it, then its error through the error table (which ends the run
// unless it is a notice).
void report_page(Invocation& run, const std::string& path, const PageOutcome& page);

// The progress line of a line pass that changed the file at path.
std::string lines_stripped_line(const Options& options, const std::string& path);

// The progress line of a rewrite pass that changed the file at path.
std::string updated_line(const std::string& path);

// Expands one file argument and runs the step over every accepted match.
void process_pattern(Invocation& run, const std::string& pattern, const FileStep& step = process_file);

// One key from the console, upper-cased (only a..z change); 0 when no key
// could be read, which declines any question.
int ask_key(Console& console);

// 1 when the file is to be processed: its extension begins with ".htm" in
// any case, or the user said yes at the question (asked only with -h).
int accept_html_name(Invocation& run, const std::string& path);

}  // namespace zorbel
