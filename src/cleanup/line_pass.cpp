#include "cleanup/line_pass.h"

namespace zorbel {

void strip_lines(Run& run, const std::string&) { run.lines_stripped = false; }

}  // namespace zorbel
