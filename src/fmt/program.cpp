#include "fmt/program.h"

#include "fmt/options.h"
#include "fmt/status.h"

namespace zorbel::fmt {

int main_program(int argc, const char* const* argv) {
    CommandLine line = read_command_line(argc, argv);
    std::fputs(line.out.c_str(), stdout);
    std::fputs(line.err.c_str(), stderr);
    if (!line.options) return line.status;
    return kExitOk;
}

}  // namespace zorbel::fmt
