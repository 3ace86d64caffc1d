#include "cli/console.h"
#include "cli/entry.h"
#include "platform/files.h"

int main(int argc, char** argv) {
    zorbel::use_binary_standard_streams();
    zorbel::keep_freed_memory_for_reuse();
    zorbel::StdConsole console;
    return zorbel::run_command_line(argc, argv, console);
}
