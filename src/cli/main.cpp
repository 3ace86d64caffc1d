#include "core/console.h"
#include "cli/entry.h"

int main(int argc, char** argv) {
    zorbel::StdConsole console;
    return zorbel::run_command_line(argc, argv, console);
}
