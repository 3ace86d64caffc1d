// The line pass: trailing white space and blank lines out, CR LF line ends.
#pragma once

#include <string>

#include "cli/run.h"

namespace zorbel {

void strip_lines(Run& run, const std::string& path);

}  // namespace zorbel
