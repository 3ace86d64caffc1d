#include "core/errors.h"

#include <cstddef>
#include <iterator>
#include <string_view>

namespace zorbel {

namespace {

// Every message of a failure, each written once. The spellings and endings
// are the tool's own: scripts look for them.
constexpr ErrorEntry kErrors[] = {
    {ErrorKind::kCannotOpen, "couldn't open %s for %s.", MessageEnd::kBare, kExitFileError},
    {ErrorKind::kOpenSkipped, "couldn't open %s", MessageEnd::kNotice, kExitOk},
    {ErrorKind::kCannotRead, "couldn't read %s.", MessageEnd::kLine, kExitFileError},
    {ErrorKind::kCannotWrite, "couldn't write %s.", MessageEnd::kLine, kExitFileError},
    {ErrorKind::kCannotReplace, "couldn't replace %s.", MessageEnd::kLine, kExitFileError},
    {ErrorKind::kNoMemory, "ran out of memory.", MessageEnd::kBare, kExitNoMemory},
    {ErrorKind::kNoWorkFileName, "Ran out of temp names!?", MessageEnd::kPressEnter, kExitFatalReport},
    {ErrorKind::kUnbalancedQuotes, "unbalanced quotes in %s (try -d option)", MessageEnd::kPressEnter,
     kExitFatalReport},
    {ErrorKind::kUnbalancedQuotesMap, "unbalanced quotes in %s (see %s)", MessageEnd::kPressEnter,
     kExitFatalReport},
    // The old text of a stamp runs from the DATETIME marker to the next '<';
    // with no '<' after the marker it would run to the end of the page:
    // "very lengthy".
    {ErrorKind::kVeryLengthy, "very lengthy <!-- $ZBL$:DATETIME -->", MessageEnd::kPressEnter, kExitFatalReport},
    {ErrorKind::kNoMatch, "no %s", MessageEnd::kNotice, kExitOk},
};

// The rows stand in the order of the kinds, so a kind finds its row by its
// value; checked here for every row.
constexpr bool rows_in_kind_order() {
    for (std::size_t i = 0; i < std::size(kErrors); ++i) {
        if (static_cast<std::size_t>(kErrors[i].kind) != i) return false;
    }
    return std::size(kErrors) == static_cast<std::size_t>(ErrorKind::kNoMatch) + 1;
}
static_assert(rows_in_kind_order(), "one row per error kind, in the order of the kinds");

}  // namespace

const ErrorEntry& error_entry(ErrorKind kind) { return kErrors[static_cast<std::size_t>(kind)]; }

std::string error_message(const Error& error) {
    const std::string_view format = error_entry(error.kind).format;
    const std::string* fills[] = {&error.path, &error.detail};
    std::string text;
    std::size_t next_fill = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && next_fill < std::size(fills)) {
            text += *fills[next_fill++];
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

}  // namespace zorbel
