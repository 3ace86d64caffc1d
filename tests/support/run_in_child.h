// Runs a piece of the tool in a forked child process with real standard
// streams: standard input fed from a pipe, standard output and standard
// error collected. For code whose behaviour lies in how it uses the real
// streams (the wait after a fatal message, the key read).
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>

#include "support/test_support.h"

namespace zorbel::test {

// body's result is the child's exit status.
inline ProcessResult run_in_child(const std::string& stdin_text, const std::function<int()>& body) {
    return run_child(stdin_text, [&] {
        int status = body();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(status);
    });
}

}  // namespace zorbel::test
