// The tool's entry point, as a library call: reads the command line, runs
// the batch, and returns the exit status.
#pragma once

#include "cli/console.h"

namespace zorbel {

int run_command_line(int argc, const char* const* argv, Console& console);

}  // namespace zorbel
