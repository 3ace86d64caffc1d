// A page's new content kept in memory until it outgrows a bound, and only
// then moved into a work file: a page that ends unchanged, as most pages do
// when they were tidied before, costs no file at all, and memory stays flat
// however long the page is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/errors.h"
#include "platform/byte_io.h"
#include "workfiles/work_files.h"

namespace zorbel {

// The memory a run's held pages share, kept from page to page: fresh memory
// for every page cost more than the work files it saves.
struct HeldMemory {
    std::size_t bound = 0;  // bytes a page may hold before it needs a work file
    ByteBlock bytes;        // bound bytes once a page needs them
};

class HeldWorkFile : public ByteSink {
public:
    // Holds up to memory.bound bytes in memory.bytes; beyond that it makes a
    // work file through work_files and writes everything there from then
    // on. When none can be made, the write fails and error() says why.
    HeldWorkFile(WorkFiles& work_files, HeldMemory& memory);

    bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) override;
    bool truncate(std::uint64_t length) override;

    // The content in a work file, for commit_with_backup: the one it went
    // to, or a new one it is written to now. False, with no work file left,
    // when it could not be written or no work file could be made (error()
    // then says why).
    bool into_work_file(WorkFile& work);

    // A work file was made.
    bool in_file() const { return work_.file.valid(); }

    // Why no work file could be made, when that stopped a write.
    const std::optional<Error>& error() const { return error_; }

private:
    bool move_to_file();

    // The memory, taken at the first write.
    unsigned char* memory();

    WorkFiles& work_files_;
    HeldMemory& held_;
    std::size_t held_length_ = 0;  // bytes of content in held_.bytes
    WorkFile work_;                // removed with this object unless taken
    std::optional<Error> error_;
};

}  // namespace zorbel
