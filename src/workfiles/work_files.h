// Work files and backups: every pass writes into a work file in the current
// directory and, when it changed the file, puts the work file in the file's
// place with the old content kept beside it as "name.b~k".
#pragma once

#include <string>

#include "cli/run.h"

namespace zorbel {

// A work file: its name in the current directory and the open descriptor
// (read-write) the pass writes through.
struct WorkFile {
    std::string name;
    int fd = -1;
};

// Advances the seven-letter base at the start of name like an odometer,
// rightmost letter first. 0 when a next name was formed, -1 when every
// letter wrapped past Z (all read A again).
int bump_temp_base(std::string& name);

// Finds a free name from run.temp_name (with the extension replaced when one
// is given) and creates that file exclusively, empty, in the current directory.
WorkFile make_temp_file(Run& run, const char* extension);

// make_temp_file with the work-file extension ".Z~B".
WorkFile new_temp_file(Run& run);

// The path with ".b~k" in place of its extension.
std::string backup_name(const std::string& path);

// Puts the work file (still open) in the place of the processed file. Without
// backup_taken the old content is kept under backup_name(path). Never loses
// data: any failure restores the file, removes the work file, prints
// "couldn't replace %s." and ends the run with status 3.
void commit_with_backup(Run& run, const std::string& path, WorkFile& work, bool backup_taken);

// A pass that changed nothing: closes the work file and deletes it unless
// keep_temps is on.
void discard_work_file(Run& run, WorkFile& work);

// A write to the work file failed: removes it, prints "couldn't write %s."
// with the processed file's path, and ends the run with status 3.
[[noreturn]] void fail_work_write(Run& run, const std::string& path, WorkFile& work);

}  // namespace zorbel
