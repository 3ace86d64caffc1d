// Deleting and renaming files by name, for the debug map and for cleaning up
// a work file after a failed read.
#pragma once

#include <string>

namespace zorbel {

// Deletes the file; false when it could not be deleted (or did not exist).
bool delete_file(const std::string& path);

// Renames from to to; false when the rename failed.
bool move_file(const std::string& from, const std::string& to);

}  // namespace zorbel
