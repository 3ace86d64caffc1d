// The built program as a real child process that a test can steer: limits
// and a lesser user set before exec, standard input written while it runs,
// its standard error read up to a question, a SIGKILL at any moment, and its
// peak memory taken from wait4.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace zorbel::test {

struct ChildSetup {
    // RLIMIT_FSIZE for the child, with SIGXFSZ ignored so that a write past
    // it fails with EFBIG instead of killing the process.
    rlim_t file_size_limit = RLIM_INFINITY;
    // Run as the unprivileged user and group 65534 (needs root to start).
    bool as_nobody = false;
    // Standard output and standard error go to /dev/null instead of pipes.
    bool quiet = false;
};

struct ChildEnd {
    int status = -1;         // exit status, or 128 + signal
    std::string out;
    std::string err;
    long peak_rss_kib = 0;   // the child's own peak resident set
};

class Child {
public:
    Child(const std::vector<std::string>& args, const std::string& cwd, const ChildSetup& setup = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }

    // Reads standard error until it holds text; false at its end without it.
    bool wait_for_err(std::string_view text);
    void write_stdin(std::string_view text);
    void kill_now();
    // Closes standard input, collects the remaining output and reaps the child.
    ChildEnd finish();

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    ChildEnd end_;
    bool reaped_ = false;
};

// Runs the program to its end with standard input closed at once.
ChildEnd run_child(const std::vector<std::string>& args, const std::string& cwd, const ChildSetup& setup = {});

}  // namespace zorbel::test
