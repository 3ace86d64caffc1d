#include "fmt/program.h"

int main(int argc, char** argv) { return zorbel::fmt::main_program(argc, argv); }
