#include "platform/standard_streams.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) != 0; }

FileHandle standard_input_file(std::uint64_t& position) {
    struct stat st;
    if (::fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return FileHandle{};
    const off_t at = ::lseek(STDIN_FILENO, 0, SEEK_CUR);
    if (at < 0) return FileHandle{};
    position = static_cast<std::uint64_t>(at);
    return FileHandle{STDIN_FILENO};
}

}  // namespace zorbel
