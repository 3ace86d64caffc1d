// A page's new content kept in memory until it outgrows a bound, and only
// then moved into a work file: a page that ends unchanged, as most pages do
// when they were tidied before, costs no file at all, and memory stays flat
// however long the page is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/run.h"
#include "platform/byte_io.h"
#include "workfiles/work_files.h"

namespace zorbel {

class HeldWorkFile : public ByteSink {
public:
    // Holds up to run.held_output_bound bytes in run.held_output; beyond that it makes a work file as new_temp_file does
    // (with its messages and statuses when none can be made) and writes
    // everything there from then on.
    explicit HeldWorkFile(Run& run);

    bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) override;
    bool truncate(std::uint64_t length) override;

    // The content in a work file, for commit_with_backup: the one it went
    // to, or a new one it is written to now. False, with no work file left,
    // when it could not be written.
    bool into_work_file(WorkFile& work);

    // A work file was made.
    bool in_file() const { return work_.file.valid(); }

private:
    bool move_to_file();

    // The memory, taken from the run at the first write.
    unsigned char* memory();

    Run& run_;
    std::size_t held_length_ = 0;  // bytes of content in run_.held_output
    WorkFile work_;                // removed with this object unless taken
};

}  // namespace zorbel
