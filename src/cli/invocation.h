// One invocation of the tool: the console it speaks through, the settings
// the command line gave, and the page pipeline every file goes through.
// One Invocation is made per command line and passed explicitly, so tests
// can run many independent batches in one process.
#pragma once

#include "cli/console.h"
#include "core/settings.h"
#include "pipeline/page_pipeline.h"

namespace zorbel {

struct Invocation {
    explicit Invocation(Console& c) : console(c) {}
    Invocation(const Invocation&) = delete;
    Invocation& operator=(const Invocation&) = delete;

    Console& console;
    // Filled by the command line before the first file; the pipeline reads
    // them from here.
    RunSettings settings;
    PagePipeline pipeline{settings};
};

}  // namespace zorbel
