#include "platform/standard_streams.h"

#include <windows.h>

#include <io.h>

namespace zorbel {

bool stdout_is_terminal() { return ::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR; }

FileHandle standard_input_file(std::uint64_t& position) {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    if (in == INVALID_HANDLE_VALUE || in == nullptr || ::GetFileType(in) != FILE_TYPE_DISK) return FileHandle{};
    LARGE_INTEGER zero{}, at{};
    if (!::SetFilePointerEx(in, zero, &at, FILE_CURRENT)) return FileHandle{};
    position = static_cast<std::uint64_t>(at.QuadPart);
    return FileHandle{reinterpret_cast<std::intptr_t>(in)};
}

}  // namespace zorbel
