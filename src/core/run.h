// Everything one run of the tool shares between its files: the options, the
// console, the work-file name template, and the few flags that carry from one
// file to the next. One Run is made per command line and passed explicitly,
// so tests can run many independent batches in one process.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include "core/console.h"
#include "core/options.h"
#include "platform/byte_io.h"
#include "platform/clock.h"

namespace zorbel {

// 64 KiB: large enough that reads and writes cost one system call per block
// on ordinary pages, small enough to keep memory flat.
inline constexpr std::size_t kDefaultBlockSize = 64 * 1024;

// 1 MiB: most pages' new content fits, so most pages need no work file
// until they prove changed, while memory stays far below the few MiB the
// tool may take.
inline constexpr std::size_t kHeldOutputBound = 1024 * 1024;

// The first work-file name; each search for a free name counts on from
// here like an odometer.
inline constexpr const char* kFirstWorkFileName = "AAAAAAA~.Z~B";

struct Run {
    explicit Run(Console& c) : console(c) {}

    Options options;
    Console& console;

    // Work-file name template; advanced like an odometer and never reset,
    // so each search for a free name starts where the last one ended.
    std::string temp_name = kFirstWorkFileName;

    // Set by the line pass when it committed the file (and so made its
    // backup); read by the rewrite pass of the same file.
    bool lines_stripped = false;

    // A backup this run made: the page it holds, by its resolved path and
    // by its path as the batch wrote it, and the backup's resolved path.
    // Keyed by the backup's resolved path as name_key gives it (on Windows,
    // two spellings of one name are one key). No commit later in the run may
    // replace one of these: it holds the only copy of a page as it was before
    // the run.
    struct BackupRecord {
        std::string page;
        std::string page_as_given;
        std::string backup;
    };
    std::map<std::string, BackupRecord> backups_made;

    // Rewrite state that carries over from one file to the next.
    int after_newline = 0;
    int crlf_collapse_active = 0;

    // Both passes run in one stream over the page, with one work file and
    // one replace when it changes, none when it does not. Off, every page
    // goes through the line pass and then the rewrite pass, each with its
    // own work file (tests compare the two).
    bool one_step = true;

    // The one-step path holds a page's new content in held_output, up to
    // this many bytes, before it needs a work file. The memory is kept from
    // page to page: fresh memory for every page cost more than the work
    // files it saves.
    std::size_t held_output_bound = kHeldOutputBound;
    ByteBlock held_output;  // held_output_bound bytes once a page needs it

    // The clock for date-time stamps; tests pin it.
    std::function<BrokenDownTime()> clock = local_now;

    // Bytes per read and per write of the passes; tests use tiny blocks to
    // find state lost at a block boundary.
    std::size_t block_size = kDefaultBlockSize;
};

}  // namespace zorbel
