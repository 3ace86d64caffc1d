// zorbel-fmt as a whole: the command line read, the pages found, tidied in
// parallel and reported in path order.
#pragma once

#include <cstdio>

namespace zorbel::fmt {

// The program, for main.
int main_program(int argc, const char* const* argv);

}  // namespace zorbel::fmt
