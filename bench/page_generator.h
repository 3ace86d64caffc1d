// Deterministic inputs for the benchmark: realistic hand-written and
// editor-saved HTML pages, and a few hostile byte patterns. The same seed
// and size always give the same bytes, on every machine and library.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zorbel::bench {

// Receives the page text in pieces, in order.
using TextWriter = std::function<void(std::string_view)>;

// Generates one page of exactly `size` bytes, unless `size` is smaller
// than the page's head and foot (about 1 KiB), which are always written
// whole. Output goes out in pieces of at most a few KiB, so a page of any
// size is produced in constant memory.
void generate_page(std::uint64_t seed, std::uint64_t size, const TextWriter& write);

std::string make_page(std::uint64_t seed, std::uint64_t size);

// Each returns false when the file cannot be written.
bool write_page_file(const std::string& path, std::uint64_t seed, std::uint64_t size);
bool write_repeated_byte_file(const std::string& path, char byte, std::uint64_t size);
// One line of `size` bytes with no blank (letters, digits, punctuation),
// then a CR LF.
bool write_long_line_file(const std::string& path, std::uint64_t size);

}  // namespace zorbel::bench
