#include "platform/file_moves.h"

#include <cstdio>
#include <unistd.h>

namespace zorbel {

bool delete_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool move_file(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

}  // namespace zorbel
