// A unified diff of a page as it is and as it would be, for --diff.
#pragma once

#include <string>
#include <string_view>

namespace zorbel::fmt {

// The diff of before and after under the headers "--- a/PATH" and
// "+++ b/PATH", with three lines of context, lines compared and printed
// with their own line ends (CR LF included, bytes as they are), and a
// missing final line end marked as patch and git apply expect. Colour adds
// terminal escapes (headers bold, hunk heads cyan, removed lines red, added
// lines green), each ended before the line's end. Empty when the two are
// the same.
std::string unified_diff(const std::string& path, std::string_view before, std::string_view after, bool color);

}  // namespace zorbel::fmt
