#include "workfiles/held_work_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zorbel {

HeldWorkFile::HeldWorkFile(WorkFiles& work_files, HeldMemory& memory) : work_files_(work_files), held_(memory) {}

unsigned char* HeldWorkFile::memory() {
    // Left uninitialised: every byte up to the length is written before it
    // counts, and clearing it for each page would be a pass over it for
    // nothing.
    if (held_.bytes.size() != held_.bound) held_.bytes.resize(held_.bound);
    return held_.bytes.data();
}

bool HeldWorkFile::move_to_file() {
    Expected<WorkFile> made = work_files_.new_temp_file();
    if (!made.ok()) {
        error_ = made.error();
        return false;
    }
    work_ = std::move(made.value());
    if (held_length_ == 0 || FileSink(work_.file).write_at(0, memory(), held_length_)) {
        held_length_ = 0;
        return true;
    }
    work_.remove();
    return false;
}

bool HeldWorkFile::write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    if (!in_file()) {
        if (offset + n <= held_.bound) {
            std::memcpy(memory() + offset, data, n);
            held_length_ = std::max(held_length_, static_cast<std::size_t>(offset) + n);
            return true;
        }
        if (!move_to_file()) return false;
    }
    return FileSink(work_.file).write_at(offset, data, n);
}

bool HeldWorkFile::truncate(std::uint64_t length) {
    if (!in_file()) {
        if (length <= held_.bound) {
            // Lengthened, the content reads as zero bytes, as a file's does.
            if (length > held_length_) std::memset(memory() + held_length_, 0, length - held_length_);
            held_length_ = static_cast<std::size_t>(length);
            return true;
        }
        if (!move_to_file()) return false;
    }
    return FileSink(work_.file).truncate(length);
}

bool HeldWorkFile::into_work_file(WorkFile& work) {
    if (!in_file() && !move_to_file()) return false;
    work = std::move(work_);
    return true;
}

}  // namespace zorbel
