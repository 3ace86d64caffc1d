#include "cli/report.h"

#include <cstdarg>
#include <cstdio>
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

void report(Console& console, const Error& error) {
    const ErrorEntry& entry = error_entry(error.kind);
    std::string text = error_message(error);
    if (entry.end != MessageEnd::kBare) text.push_back('\n');
    console.err(text);
    if (entry.end == MessageEnd::kNotice) return;
    if (entry.end == MessageEnd::kPressEnter) {
        // The request stands at the start of the line below the message.
        console.err(" (press enter)");
        console.flush();
        console.wait_for_enter();
    }
    throw FatalExit{entry.status};
}

}  // namespace zorbel
