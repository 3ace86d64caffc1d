// Helpers shared by the test programs: scratch directories, whole-file
// reads and writes, and running the built binary as a real process.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zorbel::test {

// A fresh empty directory under the system temp folder, removed with all
// its contents when the object goes away.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The platform's part of a scratch directory's life: made open to the
// owner only; before removal, everything in it made removable.
void restrict_to_owner(const std::string& path);
void open_up_for_removal(const std::string& path);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
// True when anything bears the name (a link is not followed).
bool file_exists(const std::string& path);
// Names in a directory (no "." or ".."), sorted.
std::vector<std::string> list_dir(const std::string& path);
// Every path the program's directory search yields for the pattern, in
// the order it yields them.
std::vector<std::string> all_matches(const std::string& pattern);
std::string fixture_path(const std::string& name);
// The built zorbel and zorbel-fmt programs.
std::string zorbel_binary();
std::string zorbel_fmt_binary();

struct ProcessResult {
    int status = -1;        // exit status, or 128 + signal
    std::string out;
    std::string err;
};

#ifndef _WIN32
// Forks a child whose standard input holds stdin_text and whose standard
// output and error are collected; in_child runs in the child and should exec
// or _exit (returning from it ends the child with status 127).
ProcessResult run_child(const std::string& stdin_text, const std::function<void()>& in_child);
#endif

// Runs the built zorbel with the arguments in the working directory cwd,
// feeding stdin_text on standard input (a pipe), and collects its output.
ProcessResult run_zorbel(const std::vector<std::string>& args, const std::string& cwd,
                         const std::string& stdin_text = "");
// The same for any program.
ProcessResult run_program(const std::string& binary, const std::vector<std::string>& args, const std::string& cwd,
                          const std::string& stdin_text = "");

}  // namespace zorbel::test
