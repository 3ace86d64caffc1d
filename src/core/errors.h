// Every way a page, a work file or a pass can fail, as one value: what went
// wrong and the path (and, for some, the text) its message names. The
// layers below the command line hand these up and never print them; the
// one table in errors.cpp gives each kind its message, how it is written
// and the exit status it ends the run with.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zorbel {

// The exit statuses of the program. There are no others.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFatalReport = 1,   // a report that asked the user to press Enter
    kExitFileError = 3,     // a file could not be opened, read, written or replaced
    kExitNoMemory = 7,
    kExitUsage = 17,
};

enum class ErrorKind {
    kCannotOpen,          // path could not be opened, detail the mode asked for
    kOpenSkipped,         // path could not be opened for the rewrite; the run goes on
    kCannotRead,          // path could not be read to its end
    kCannotWrite,         // the new content of path could not be written
    kCannotReplace,       // the new content could not take path's place
    kNoMemory,
    kNoWorkFileName,      // every work-file name is taken
    kUnbalancedQuotes,    // a double quote still open at the end of path
    kUnbalancedQuotesMap, // the same, with the quote map left at detail
    kVeryLengthy,         // a DATETIME marker with no tag after it
    kNoMatch,             // the pattern path matched nothing; the run goes on (the last kind)
};

struct Error {
    ErrorKind kind;
    std::string path;
    std::string detail;
};

// How a message is written.
enum class MessageEnd {
    kBare,          // as it is, and the run ends
    kLine,          // with a line feed, and the run ends
    kNotice,        // with a line feed, and the run goes on
    kPressEnter,    // with a line feed and " (press enter)", a wait, and the run ends
};

struct ErrorEntry {
    ErrorKind kind;
    const char* format;  // "%s" stands for the path, a second one for the detail
    MessageEnd end;
    ExitStatus status;
};

// The table's row for the kind.
const ErrorEntry& error_entry(ErrorKind kind);

// The message of the error, without anything its ending adds.
std::string error_message(const Error& error);

// A value or the error that stopped it.
template <typename T>
class Expected {
public:
    Expected(T value) : value_(std::move(value)) {}
    Expected(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    T& value() { return value_; }
    const Error& error() const { return *error_; }

private:
    T value_{};
    std::optional<Error> error_;
};

}  // namespace zorbel
