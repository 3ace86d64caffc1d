#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "platform/dir_search.h"

namespace zorbel::test {

namespace fs = std::filesystem;

namespace {

// A name no other scratch directory of any test process has.
std::string unique_name() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream name;
    name << "zorbel-test-" << std::hex << static_cast<unsigned long long>(now) << "-" << counter++;
    return name.str();
}

}  // namespace

ScratchDir::ScratchDir() {
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / unique_name();
        std::error_code ec;
        if (fs::create_directory(candidate, ec) && !ec) {
            path_ = candidate.generic_string();
            restrict_to_owner(path_);
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch directory");
}

ScratchDir::~ScratchDir() {
    open_up_for_removal(path_);
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::vector<std::string> all_matches(const std::string& pattern) {
    FileSearch search(pattern);
    std::vector<std::string> paths;
    while (auto path = search.next_match()) paths.push_back(*path);
    return paths;
}

std::vector<std::string> list_dir(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string fixture_path(const std::string& name) { return std::string(ZORBEL_FIXTURES) + "/" + name; }

std::string zorbel_binary() { return ZORBEL_BINARY; }
std::string zorbel_fmt_binary() { return ZORBEL_FMT_BINARY; }

}  // namespace zorbel::test
