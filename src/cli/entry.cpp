#include "cli/entry.h"

#include <new>

#include "cli/command_line.h"
#include "cli/report.h"

namespace zorbel {

int run_command_line(int argc, const char* const* argv, Console& console) {
    return run_command_line(argc, argv, console, process_file);
}

int run_command_line(int argc, const char* const* argv, Console& console, const FileStep& step) {
    int status = kExitOk;
    try {
        Arguments args;
        for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
        Invocation run(console);
        read_options(run, args);
        for_each_file_argument(args, [&](std::string_view arg) { process_pattern(run, std::string(arg), step); });
    } catch (const FatalExit& exit) {
        status = exit.status;
    } catch (const std::bad_alloc&) {
        try {
            report(console, Error{ErrorKind::kNoMemory, "", ""});
        } catch (const FatalExit& exit) {
            status = exit.status;
        }
    }
    console.flush();
    return status;
}

}  // namespace zorbel
