#include "cli/batch.h"

#include "cleanup/line_pass.h"
#include "rewrite/rewrite_pass.h"

namespace zorbel {

void process_file(Run& run, const std::string& path) {
    strip_lines(run, path);
    rewrite_file(run, path);
}

}  // namespace zorbel
