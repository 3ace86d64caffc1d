#include "core/report.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <vector>

namespace zorbel {

std::string format_message(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buf(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, again);
        text.assign(buf.data(), static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

void report(Console& console, int exit_code, std::string_view message) {
    std::string line(message);
    line.push_back('\n');
    console.err(line);
    if (exit_code == 0) return;
    // The request stands at the start of the line below the message.
    console.err(" (press enter)");
    console.flush();
    console.wait_for_enter();
    throw FatalExit{exit_code};
}

void die(Console& console, int status, std::string_view message) {
    console.err(message);
    throw FatalExit{status};
}

void die_cannot_open(Console& console, std::string_view path, std::string_view mode) {
    std::string text = "couldn't open ";
    text.append(path);
    text.append(" for ");
    text.append(mode);
    text.append(".");
    die(console, kExitFileError, text);
}

std::unique_ptr<unsigned char[]> alloc_or_die(Console& console, std::size_t size) {
    unsigned char* block = new (std::nothrow) unsigned char[size]();
    if (block == nullptr) die(console, kExitNoMemory, "ran out of memory.");
    return std::unique_ptr<unsigned char[]>(block);
}

}  // namespace zorbel
