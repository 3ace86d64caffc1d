// File operations of the platform. Everything the passes do to the file
// system goes through here.
#pragma once

#include <string>

namespace zorbel {

// Opens a file for reading; the descriptor, or -1.
int open_for_reading(const std::string& path);

// Closes a descriptor; false when the close reported an error.
bool close_fd(int fd);

}  // namespace zorbel
