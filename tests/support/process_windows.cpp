// Test support on Windows: scratch-directory attributes and the built
// program run with CreateProcess, its standard streams on pipes.
#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "support/test_support.h"

namespace zorbel::test {

void restrict_to_owner(const std::string&) {}

void open_up_for_removal(const std::string& path) {
    // Read-only files refuse deletion here; tests leave some behind.
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        ::SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

bool file_exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {

// One argument as the C runtime's command-line parser reads it back:
// quoted, with backslashes doubled only where a quote follows them.
std::string quote_argument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

void read_all(HANDLE from, std::string& into) {
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(from, buf, sizeof buf, &got, nullptr) && got > 0) into.append(buf, got);
}

struct Pipe {
    HANDLE read = nullptr, write = nullptr;
    Pipe() {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        if (!::CreatePipe(&read, &write, &inherit, 0)) throw std::runtime_error("CreatePipe");
    }
    ~Pipe() {
        close(read);
        close(write);
    }
    static void close(HANDLE& h) {
        if (h != nullptr) ::CloseHandle(h);
        h = nullptr;
    }
};

}  // namespace

ProcessResult run_zorbel(const std::vector<std::string>& args, const std::string& cwd,
                         const std::string& stdin_text) {
    return run_program(zorbel_binary(), args, cwd, stdin_text);
}

ProcessResult run_program(const std::string& binary, const std::vector<std::string>& args, const std::string& cwd,
                          const std::string& stdin_text) {
    Pipe in, out, err;
    // The parent's ends stay out of the child.
    ::SetHandleInformation(in.write, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(out.read, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(err.read, HANDLE_FLAG_INHERIT, 0);

    std::string command = quote_argument(binary);
    for (const std::string& arg : args) command += " " + quote_argument(arg);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.read;
    startup.hStdOutput = out.write;
    startup.hStdError = err.write;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(), &startup,
                          &process)) {
        throw std::runtime_error("CreateProcess failed for " + command);
    }
    Pipe::close(in.read);
    Pipe::close(out.write);
    Pipe::close(err.write);

    ProcessResult result;
    std::thread out_reader([&] { read_all(out.read, result.out); });
    std::thread err_reader([&] { read_all(err.read, result.err); });
    DWORD written = 0;
    if (!stdin_text.empty())
        ::WriteFile(in.write, stdin_text.data(), static_cast<DWORD>(stdin_text.size()), &written, nullptr);
    Pipe::close(in.write);
    out_reader.join();
    err_reader.join();
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    result.status = static_cast<int>(code);
    return result;
}

}  // namespace zorbel::test
