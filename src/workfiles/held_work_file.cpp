#include "workfiles/held_work_file.h"

#include <cstring>
#include <utility>

namespace zorbel {

HeldWorkFile::HeldWorkFile(Run& run) : run_(run), held_(run.held_output) { held_.clear(); }

bool HeldWorkFile::move_to_file() {
    work_ = new_temp_file(run_);
    if (FileSink(work_.file).write_at(0, reinterpret_cast<const unsigned char*>(held_.data()), held_.size())) {
        held_.clear();
        return true;
    }
    work_.remove();
    return false;
}

bool HeldWorkFile::write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) {
    if (!in_file()) {
        if (offset + n <= run_.held_output_bound) {
            const std::size_t end = static_cast<std::size_t>(offset) + n;
            if (held_.size() < end) held_.resize(end);
            std::memcpy(held_.data() + offset, data, n);
            return true;
        }
        if (!move_to_file()) return false;
    }
    return FileSink(work_.file).write_at(offset, data, n);
}

bool HeldWorkFile::truncate(std::uint64_t length) {
    if (!in_file()) {
        if (length <= run_.held_output_bound) {
            held_.resize(static_cast<std::size_t>(length));
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
