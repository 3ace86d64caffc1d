// The command line: options are read in a first pass over all arguments, so
// every option applies to every file argument wherever it stands; a second
// pass hands the file arguments, in order, to the batch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/invocation.h"

namespace zorbel {

// The arguments after the program's own path.
using Arguments = std::vector<std::string_view>;

// 0 when the character after the option character and the option letter is
// '-' (the switch form "-c-"), otherwise 1 ("-c", "-cx").
int option_switch(std::string_view arg);

// The number at the start of text as -w reads it: leading white space, an
// optional sign, then decimal digits up to the first other character; no
// digits give 0. Values beyond the signed 32-bit range saturate.
std::int32_t parse_margin(std::string_view text);

// The usage text, with the margin shown as an unsigned number.
std::string usage_text(std::int32_t wrap_margin);

// Prints the usage text on standard output and ends the run with status 17.
[[noreturn]] void show_usage(Invocation& run);

// First pass: applies every option to run.settings.options and counts the file
// arguments. Shows the usage (status 17) for an unknown option letter, a '?'
// in any argument before the end-of-options marker, or no file argument.
void read_options(Invocation& run, const Arguments& args);

// Second pass: calls each_file with every file argument, in order. It takes
// as options exactly the arguments the first pass took as options.
void for_each_file_argument(const Arguments& args,
                            const std::function<void(std::string_view)>& each_file);

}  // namespace zorbel
