// The rewrite pass: quotes, apostrophes, &nbsp;, wrapping, the anchor fix.
#pragma once

#include <string>

#include "cli/run.h"

namespace zorbel {

void rewrite_file(Run& run, const std::string& path);

}  // namespace zorbel
