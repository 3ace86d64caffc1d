// zorbel-fmt's command line: what it asks for, read with the usual rules
// (--name, --name=value, a few short forms, -- ends the options, - is
// standard input).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zorbel/zorbel.h"

namespace zorbel::fmt {

enum class Color { kAuto, kAlways, kNever };

struct FmtOptions {
    PageOptions page;           // the page settings, zorbel's defaults but for keep_verbatim
    bool check = false;         // report pages that would change; write nothing
    bool diff = false;          // print what would change; write nothing
    Color color = Color::kAuto;
    bool backup = true;         // keep the page as it was in its .b~k file
    bool settle = true;         // tidy each page until another round changes nothing
    unsigned jobs = 0;          // pages tidied at once; 0: one per processor
    std::vector<std::string> excludes;
    std::vector<std::string> paths;  // empty: standard input
};

// What reading the command line came to: options to run with, or text to
// print and a status to end with (--help, --version, a usage error).
struct CommandLine {
    std::optional<FmtOptions> options;
    std::string out;  // for standard output
    std::string err;  // for standard error
    int status = 0;
};

CommandLine read_command_line(int argc, const char* const* argv);

}  // namespace zorbel::fmt
