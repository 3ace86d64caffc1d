#include "fmt/diff.h"

#include <dtl/dtl.hpp>
#include <vector>

namespace zorbel::fmt {

namespace {

constexpr std::size_t kContext = 3;

// The lines of a text, each with its line end; the last may have none.
std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, stop - start));
        start = stop;
    }
    return lines;
}

enum class Op { kSame, kRemoved, kAdded };

struct Edit {
    Op op;
    std::string_view line;
};

// The edit script between the two line lists, common lines included.
std::vector<Edit> edits_between(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
    // The common head and tail are kept out of the comparison: most of a
    // page often is one or the other, and the algorithm's cost grows with
    // what it is given.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
        ++tail;
    }
    std::vector<Edit> edits;
    for (std::size_t i = 0; i < head; ++i) edits.push_back({Op::kSame, a[i]});
    const std::vector<std::string_view> mid_a(a.begin() + static_cast<long>(head), a.end() - static_cast<long>(tail));
    const std::vector<std::string_view> mid_b(b.begin() + static_cast<long>(head), b.end() - static_cast<long>(tail));
    dtl::Diff<std::string_view> diff(mid_a, mid_b);
    diff.onHuge();
    diff.compose();
    for (const auto& [line, info] : diff.getSes().getSequence()) {
        const Op op = info.type == dtl::SES_COMMON ? Op::kSame : info.type == dtl::SES_DELETE ? Op::kRemoved : Op::kAdded;
        edits.push_back({op, line});
    }
    for (std::size_t i = a.size() - tail; i < a.size(); ++i) edits.push_back({Op::kSame, a[i]});
    return edits;
}

struct Colors {
    const char* header = "";
    const char* hunk = "";
    const char* removed = "";
    const char* added = "";
    const char* reset = "";
};

// One line of a hunk: the mark, the line with the colour ended before its
// line end, and the note for a missing line end.
void put_line(std::string& out, char mark, std::string_view line, const char* color, const char* reset) {
    std::size_t body = line.size();
    if (body > 0 && line[body - 1] == '\n') --body;
    if (body > 0 && line[body - 1] == '\r' && body < line.size()) --body;
    out += color;
    out += mark;
    out.append(line.substr(0, body));
    if (*color != '\0') out += reset;
    if (body == line.size()) {
        out += "\n\\ No newline at end of file\n";
    } else {
        out.append(line.substr(body));
    }
}

std::string range(std::size_t start, std::size_t count) {
    // An empty range is written after the line it follows.
    return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

}  // namespace

std::string unified_diff(const std::string& path, std::string_view before, std::string_view after, bool color) {
    if (before == after) return {};
    const std::vector<Edit> edits = edits_between(lines_of(before), lines_of(after));
    Colors c;
    if (color) c = Colors{"\x1b[1m", "\x1b[36m", "\x1b[31m", "\x1b[32m", "\x1b[m"};

    std::string out;
    out += std::string(c.header) + "--- a/" + path + c.reset + "\n";
    out += std::string(c.header) + "+++ b/" + path + c.reset + "\n";
    // Old and new line numbers at each edit.
    std::vector<std::size_t> old_at(edits.size() + 1), new_at(edits.size() + 1);
    for (std::size_t i = 0; i < edits.size(); ++i) {
        old_at[i + 1] = old_at[i] + (edits[i].op != Op::kAdded);
        new_at[i + 1] = new_at[i] + (edits[i].op != Op::kRemoved);
    }
    std::size_t i = 0;
    while (i < edits.size()) {
        while (i < edits.size() && edits[i].op == Op::kSame) ++i;
        if (i == edits.size()) break;
        // A hunk: from kContext lines before the first change to kContext
        // after the last change that lies within 2 * kContext of the next.
        const std::size_t first = i >= kContext ? i - kContext : 0;
        std::size_t last = i;  // one past the last change
        for (std::size_t j = i; j < edits.size(); ++j) {
            if (edits[j].op != Op::kSame) {
                last = j + 1;
            } else if (j - last + 1 > 2 * kContext) {
                break;
            }
        }
        const std::size_t end = std::min(edits.size(), last + kContext);
        out += std::string(c.hunk) + "@@ -" + range(old_at[first], old_at[end] - old_at[first]) + " +" +
               range(new_at[first], new_at[end] - new_at[first]) + " @@" + c.reset + "\n";
        for (std::size_t j = first; j < end; ++j) {
            const Edit& e = edits[j];
            if (e.op == Op::kSame) put_line(out, ' ', e.line, "", c.reset);
            if (e.op == Op::kRemoved) put_line(out, '-', e.line, c.removed, c.reset);
            if (e.op == Op::kAdded) put_line(out, '+', e.line, c.added, c.reset);
        }
        i = end;
    }
    return out;
}

}  // namespace zorbel::fmt
