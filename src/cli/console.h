// The three console streams the tool speaks through. Everything the user sees
// or types goes through a Console, so a test can run whole batches in one
// process and read back exactly what a user would have seen.
#pragma once

#include <string>
#include <string_view>

namespace zorbel {

class Console {
public:
    virtual ~Console() = default;
    // Standard output: usage text and progress lines.
    virtual void out(std::string_view text) = 0;
    // The message stream (standard error): reports, questions, notices.
    virtual void err(std::string_view text) = 0;
    // The wait after " (press enter)": one read of at most four bytes from
    // standard input, ending early at a line feed or at end of input.
    virtual void wait_for_enter() = 0;
    // One key for the non-HTML question, not echoed and without Enter.
    // 0 on end of input or error.
    virtual int read_key() = 0;
    virtual void flush() {}
};

// The process's real stdout, stderr and stdin.
class StdConsole : public Console {
public:
    void out(std::string_view text) override;
    void err(std::string_view text) override;
    void wait_for_enter() override;
    int read_key() override;
    void flush() override;
};

// A console for tests: collects output and answers from scripted input.
class StringConsole : public Console {
public:
    std::string out_text;
    std::string err_text;
    std::string input;       // bytes that "standard input" holds
    std::size_t input_pos = 0;

    void out(std::string_view text) override { out_text.append(text); }
    void err(std::string_view text) override { err_text.append(text); }
    void wait_for_enter() override;
    int read_key() override;
};

}  // namespace zorbel
