#include "platform/files.h"

#include <fcntl.h>
#include <unistd.h>

namespace zorbel {

int open_for_reading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

bool close_fd(int fd) { return ::close(fd) == 0; }

}  // namespace zorbel
