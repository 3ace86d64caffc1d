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
#include "platform/clock.h"

namespace zorbel {

// 64 KiB: large enough that reads and writes cost one system call per block
// on ordinary pages, small enough to keep memory flat.
inline constexpr std::size_t kDefaultBlockSize = 64 * 1024;

inline constexpr std::size_t kOneStepBound = 64 * 1024;

struct Run {
    explicit Run(Console& c) : console(c) {}

    Options options;
    Console& console;

    // Work-file name template; advanced like an odometer and never reset,
    // so each search for a free name starts where the last one ended.
    std::string temp_name = "AAAAAAA~.Z~B";

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

    // Pages up to this many bytes go through both passes in memory in one
    // step: no work file unless the page changes, one replace when it does.
    // Larger pages stream through the two passes one after the other, so
    // memory stays flat. 64 KiB holds most hand-written pages in one read;
    // beyond it, fresh memory for the passes' output cost more than the work
    // files save (measured on documentation pages of 100-500 KiB).
    // 0 turns the one-step path off (tests compare the two).
    std::size_t one_step_bound = kOneStepBound;

    // The clock for date-time stamps; tests pin it.
    std::function<BrokenDownTime()> clock = local_now;

    // Bytes per read and per write of the passes; tests use tiny blocks to
    // find state lost at a block boundary.
    std::size_t block_size = kDefaultBlockSize;
};

}  // namespace zorbel
