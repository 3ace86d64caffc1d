// The tool's entry point, as a library call: reads the command line, runs
// the batch, and returns the exit status.
#pragma once

#include "cli/batch.h"
#include "cli/console.h"

namespace zorbel {

// argv[0], the program's own path, is never looked at.
int run_command_line(int argc, const char* const* argv, Console& console);

// The same with another per-file step, so tests can watch the batch.
int run_command_line(int argc, const char* const* argv, Console& console, const FileStep& step);

}  // namespace zorbel
