// Whole-process benchmark of zorbel: generates pages into a scratch
// directory, runs the tool on fresh copies of them (it edits in place), and
// prints medians of wall time, throughput and the child's peak RSS beside
// the time of copying the same bytes with cat.
#include "page_generator.h"
#include "engine_floor.h"
#include "cleanup/line_pass.h"
#include "core/settings.h"
#include "platform/byte_io.h"
#include "rewrite/rewrite_pass.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "zorbel/zorbel.h"

namespace fs = std::filesystem;
using namespace zorbel::bench;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

struct Settings {
    std::string zorbel = ZORBEL_DEFAULT_BINARY;
    std::uint64_t big_mib = 100;
    std::uint64_t small_page_mib = 1;  // the page whose RSS is set against the big one
    unsigned runs = 5;
    unsigned files = 5000;
    std::uint64_t file_kib = 5;
    std::uint64_t adversarial_mib = 10;
    std::uint64_t long_line_mib = 50;
    unsigned timeout_s = 600;  // a hung child must not hang the benchmark
    std::uint64_t seed = 1;
    bool line_pass_only = false;
    bool keep = false;
    std::string scratch;
};

const char kUsage[] =
    "usage: zorbel_bench [--zorbel PATH] [--size-mb N] [--runs N] [--files N]\n"
    "                    [--quick] [--line-pass-only] [--seed N] [--timeout SECONDS]\n"
    "                    [--scratch DIR] [--keep]\n"
    "  --size-mb N       size of the big page in MiB (default 100; 1024 for 1 GiB)\n"
    "  --runs N          measured runs per case; medians are reported (default 5)\n"
    "  --files N         number of 5 KiB pages in the many-files case (default 5000)\n"
    "  --quick           small inputs and one run, for a smoke test\n"
    "  --line-pass-only  measure only the line-pass proxy on the big page\n"
    "  --scratch DIR     work in DIR and leave it there (default: a fresh temp dir)\n"
    "  --keep            keep the default temp dir and print its name\n";

[[noreturn]] void usage_error(const std::string& what) {
    std::fprintf(stderr, "zorbel_bench: %s\n%s", what.c_str(), kUsage);
    std::exit(2);
}

std::uint64_t number_arg(int argc, char** argv, int& i) {
    if (i + 1 >= argc) usage_error(std::string(argv[i]) + " needs a value");
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(argv[++i], &end, 10);
    if (errno || *end || end == argv[i] || v == 0)
        usage_error(std::string("bad number for ") + argv[i - 1] + ": " + argv[i]);
    return v;
}

Settings parse(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0) {  // applied first, so explicit flags win
            s.big_mib = 4;
            s.runs = 1;
            s.files = 200;
            s.adversarial_mib = 1;
            s.long_line_mib = 4;
            s.timeout_s = 60;
        }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick") continue;
        else if (a == "--zorbel" && i + 1 < argc) s.zorbel = argv[++i];
        else if (a == "--scratch" && i + 1 < argc) s.scratch = argv[++i];
        else if (a == "--size-mb") s.big_mib = number_arg(argc, argv, i);
        else if (a == "--runs") s.runs = static_cast<unsigned>(number_arg(argc, argv, i));
        else if (a == "--files") s.files = static_cast<unsigned>(number_arg(argc, argv, i));
        else if (a == "--seed") s.seed = number_arg(argc, argv, i);
        else if (a == "--timeout") s.timeout_s = static_cast<unsigned>(number_arg(argc, argv, i));
        else if (a == "--line-pass-only") s.line_pass_only = true;
        else if (a == "--keep") s.keep = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else usage_error("unknown argument: " + a);
    }
    return s;
}

// One measured child process.
struct Sample {
    double seconds = 0;
    long peak_kib = 0;
    int wait_status = 0;
    bool started = true;
    unsigned changed = 0;  // backups the tool left, one per file it changed
    std::string first_error_line;  // of the child's standard error, when it failed
    bool ok() const { return started && WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0; }
};

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "zorbel_bench: %s\n", what.c_str());
    std::exit(1);
}

std::string first_line(const fs::path& path) {
    std::string line;
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
        char buf[300] = "";
        if (std::fgets(buf, sizeof buf, f)) line = buf;
        std::fclose(f);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

double now_seconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// What the launcher reports about one child; plain data, sent over a pipe.
struct Measured {
    double seconds;
    long peak_kib;
    int wait_status;
    int started;
};

// Runs args in cwd with standard input empty (a fatal message's wait for
// Enter returns at once), standard output to out_path and standard error to
// err_path. The alarm survives exec, so a child that runs past the timeout
// dies of SIGALRM.
Measured spawn_measured(char* const* args, const char* cwd, const char* out_path,
                        const char* err_path, unsigned timeout_s) {
    Measured m{0, 0, 0, 1};
    double start = now_seconds();
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(cwd) != 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        alarm(timeout_s);
        execvp(args[0], args);
        _exit(127);
    }
    if (pid < 0) {
        m.started = 0;
        return m;
    }
    rusage usage{};
    while (wait4(pid, &m.wait_status, 0, &usage) < 0 && errno == EINTR) {
    }
    m.seconds = now_seconds() - start;
    m.peak_kib = usage.ru_maxrss;  // KiB on Linux
    return m;
}

bool read_all(int fd, void* data, std::size_t n) {
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        ssize_t got = read(fd, p, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool write_all(int fd, const void* data, std::size_t n) {
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

// Starts the measured processes from a small process forked before the
// benchmark allocates anything. A child's ru_maxrss also counts the pages
// it shared with its parent when it called exec, so the parent of the
// measured tool must stay as small as a shell; the benchmark's own heap
// (generated pages, file lists) would otherwise show up as the tool's RSS.
class Launcher {
public:
    Launcher() {
        int to[2], from[2];
        if (pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0) fail("cannot make a pipe");
        pid_ = fork();
        if (pid_ < 0) fail("cannot fork the process launcher");
        if (pid_ == 0) {
            close(to[1]);
            close(from[0]);
            serve(to[0], from[1]);
        }
        close(to[0]);
        close(from[1]);
        to_ = to[1];
        from_ = from[0];
    }
    ~Launcher() {
        close(to_);
        close(from_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // The request is the timeout, the directory, the two output paths and
    // the arguments, each ended by a NUL.
    std::optional<Measured> run(const std::vector<std::string>& argv, const fs::path& cwd,
                                const fs::path& out, const fs::path& err, unsigned timeout_s) {
        std::string req = std::to_string(timeout_s) + '\0' + cwd.string() + '\0' + out.string() +
                          '\0' + err.string() + '\0';
        for (const std::string& a : argv) req += a + '\0';
        std::uint32_t len = static_cast<std::uint32_t>(req.size());
        Measured m{};
        if (!write_all(to_, &len, sizeof len) || !write_all(to_, req.data(), req.size()) ||
            !read_all(from_, &m, sizeof m))
            return std::nullopt;
        return m;
    }

private:
    [[noreturn]] static void serve(int in, int out) {
        for (std::uint32_t len; read_all(in, &len, sizeof len);) {
            std::vector<char> req(len);
            if (!read_all(in, req.data(), len)) break;
            std::vector<char*> fields;
            for (std::size_t i = 0; i < len; i += std::strlen(req.data() + i) + 1)
                fields.push_back(req.data() + i);
            if (fields.size() < 5) break;
            fields.push_back(nullptr);
            Measured m = spawn_measured(&fields[4], fields[1], fields[2], fields[3],
                                        static_cast<unsigned>(std::strtoul(fields[0], nullptr, 10)));
            if (!write_all(out, &m, sizeof m)) break;
        }
        _exit(0);
    }

    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
};

// Copies through the page cache with plain reads and writes, so the fresh
// copy is as warm as the file a user just saved (a reflinking copy would
// leave it cold).
bool copy_bytes(const fs::path& from, const fs::path& to) {
    int in = open(from.c_str(), O_RDONLY);
    if (in < 0) return false;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        close(in);
        return false;
    }
    // Small and static: pages this process has touched count in the RSS
    // of every child it forks.
    static std::vector<char> buf(64 * 1024);
    bool ok = true;
    for (;;) {
        ssize_t got = read(in, buf.data(), buf.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(out, buf.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                ok = false;
                break;
            }
            done += put;
        }
        if (!ok) break;
    }
    close(in);
    return close(out) == 0 && ok;
}

// What one row of the table runs: a command on fresh copies of its inputs.
struct Case {
    std::vector<fs::path> inputs;
    std::vector<std::string> argv;
    std::string stdout_name;  // a file in the run directory; empty: /dev/null
    bool counts_backups = true;
};

class Bench {
public:
    Bench(Launcher& launcher, Settings s, fs::path scratch)
        : launcher_(launcher), s_(std::move(s)), scratch_(std::move(scratch)) {}

    Sample run_once(const Case& c) {
        const fs::path run_dir = scratch_ / "run";
        std::error_code ec;
        fs::remove_all(run_dir, ec);
        fs::create_directories(run_dir, ec);
        for (const fs::path& in : c.inputs)
            if (!copy_bytes(in, run_dir / in.filename())) {
                Sample fail;
                fail.started = false;
                fail.first_error_line = "cannot copy " + in.string() + " into " + run_dir.string();
                return fail;
            }
        // The copies reach the disk before the clock starts, so the run is
        // not charged for writing back the copy made for it.
        ::sync();
        fs::path out = c.stdout_name.empty() ? fs::path("/dev/null") : run_dir / c.stdout_name;
        const fs::path err = scratch_ / "stderr.txt";
        std::optional<Measured> m = launcher_.run(c.argv, run_dir, out, err, s_.timeout_s);
        if (!m) fail("the process launcher has gone");
        Sample sample;
        sample.seconds = m->seconds;
        sample.peak_kib = m->peak_kib;
        sample.wait_status = m->wait_status;
        sample.started = m->started != 0;
        if (!sample.ok()) sample.first_error_line = first_line(err);
        if (c.counts_backups)
            for (const auto& entry : fs::directory_iterator(run_dir, ec))
                if (entry.path().extension() == ".b~k") ++sample.changed;
        return sample;
    }

    std::vector<Sample> run_many(const Case& c) {
        std::vector<Sample> samples;
        for (unsigned i = 0; i < s_.runs; ++i) samples.push_back(run_once(c));
        return samples;
    }

private:
    Launcher& launcher_;
    Settings s_;
    fs::path scratch_;
};

double median_seconds(std::vector<Sample> samples) {
    std::vector<double> t;
    for (const Sample& s : samples) t.push_back(s.seconds);
    std::sort(t.begin(), t.end());
    if (t.empty()) return 0;
    std::size_t n = t.size();
    return n % 2 ? t[n / 2] : (t[n / 2 - 1] + t[n / 2]) / 2;
}

bool all_ok(const std::vector<Sample>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](const Sample& s) { return s.ok(); });
}

long peak_kib(const std::vector<Sample>& samples) {
    long peak = 0;
    for (const Sample& s : samples) peak = std::max(peak, s.peak_kib);
    return peak;
}

std::string describe_failure(const Sample& s, unsigned timeout_s) {
    if (!s.started) return "not run";
    if (WIFSIGNALED(s.wait_status)) {
        int sig = WTERMSIG(s.wait_status);
        if (sig == SIGALRM) return "timeout " + std::to_string(timeout_s) + " s";
        return "signal " + std::to_string(sig);
    }
    int code = WEXITSTATUS(s.wait_status);
    if (code == 127) return "exec failed";
    return "exit " + std::to_string(code);
}

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string size_text(std::uint64_t bytes) {
    if (bytes >= kMiB) return format("%.0f MiB", static_cast<double>(bytes) / kMiB);
    return format("%.0f KiB", static_cast<double>(bytes) / 1024);
}

std::string rss_text(long kib) { return format("%.1f MiB", static_cast<double>(kib) / 1024); }

// One line of the printed table.
struct Row {
    std::string label, input, time, rate, rss, changed, status;
};

class Table {
public:
    void add(Row r) { rows_.push_back(std::move(r)); }
    void note(std::string n) { notes_.push_back(std::move(n)); }
    bool any_failure = false;
    unsigned timeout_s = 0;

    // A measured row: `amount` of `unit` (MiB or files) per median second;
    // a failed run of a `must_succeed` row makes the benchmark fail.
    void measured(const std::string& label, const std::string& input,
                  const std::vector<Sample>& samples, double amount, const std::string& unit,
                  unsigned inputs, bool must_succeed, bool show_changed = true, bool show_rss = true) {
        Row r{label, input, "", "", "", "", "ok"};
        double t = median_seconds(samples);
        r.time = format("%.3f s", t);
        // A rate is shown only when every run finished its work.
        if (t > 0 && amount > 0 && all_ok(samples))
            r.rate = format(unit == "files/s" ? "%.0f " : "%.1f ", amount / t) + unit;
        if (show_rss) r.rss = rss_text(peak_kib(samples));
        if (show_changed && !samples.empty())
            r.changed = std::to_string(samples.back().changed) + "/" + std::to_string(inputs);
        unsigned failed = 0;
        const Sample* first = nullptr;
        for (const Sample& s : samples)
            if (!s.ok()) {
                ++failed;
                if (!first) first = &s;
            }
        if (first) {
            r.status = describe_failure(*first, timeout_s);
            if (failed < samples.size())
                r.status += " (" + std::to_string(failed) + "/" + std::to_string(samples.size()) + ")";
            if (!first->first_error_line.empty())
                note(label + ": " + first->first_error_line);
            if (must_succeed) any_failure = true;
        }
        add(std::move(r));
    }

    void print() const {
        const Row head{"case", "input", "median", "rate", "peak RSS", "changed", "status"};
        std::size_t w[6] = {};
        auto widen = [&](const Row& r) {
            const std::string* cols[6] = {&r.label, &r.input, &r.time, &r.rate, &r.rss, &r.changed};
            for (int i = 0; i < 6; ++i) w[i] = std::max(w[i], cols[i]->size());
        };
        widen(head);
        for (const Row& r : rows_) widen(r);
        auto line = [&](const Row& r) {
            std::printf("%-*s  %*s  %*s  %*s  %*s  %*s  %s\n", static_cast<int>(w[0]), r.label.c_str(),
                        static_cast<int>(w[1]), r.input.c_str(), static_cast<int>(w[2]), r.time.c_str(),
                        static_cast<int>(w[3]), r.rate.c_str(), static_cast<int>(w[4]), r.rss.c_str(),
                        static_cast<int>(w[5]), r.changed.c_str(), r.status.c_str());
        };
        line(head);
        for (const Row& r : rows_) line(r);
        for (const std::string& n : notes_) std::printf("  * %s\n", n.c_str());
    }

private:
    std::vector<Row> rows_;
    std::vector<std::string> notes_;
};

unsigned online_cpus() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
    return static_cast<unsigned>(sysconf(_SC_NPROCESSORS_ONLN));
}

std::string local_date() {
    std::time_t t = std::time(nullptr);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M %Z", std::localtime(&t));
    return buf;
}

fs::path make_scratch(const Settings& s) {
    std::error_code ec;
    if (!s.scratch.empty()) {
        fs::create_directories(s.scratch, ec);
        if (!fs::is_directory(s.scratch)) fail("cannot create scratch directory " + s.scratch);
        return fs::absolute(s.scratch);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zorbel-bench.XXXXXX";
    if (!mkdtemp(pattern.data())) fail("cannot create a temp directory: " + std::string(std::strerror(errno)));
    return pattern;
}

// Checks a generated input, whose size every rate in the table rests on.
fs::path generated(const fs::path& path, bool written, std::uint64_t size) {
    std::error_code ec;
    if (!written) fail("cannot write " + path.string());
    if (fs::file_size(path, ec) != size) fail("generated " + path.string() + " has the wrong size");
    return path;
}

struct Inputs {
    fs::path big, page, lt, amp, line;
    std::vector<fs::path> many;
};

Inputs generate_inputs(const Settings& s, const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir / "many", ec);
    Inputs in;
    const std::uint64_t big = s.big_mib * kMiB, page = s.small_page_mib * kMiB;
    const std::uint64_t hostile = s.adversarial_mib * kMiB, line = s.long_line_mib * kMiB;
    in.big = generated(dir / "big.htm", write_page_file(dir / "big.htm", s.seed, big), big);
    if (s.line_pass_only) return in;
    in.page = generated(dir / "page.htm", write_page_file(dir / "page.htm", s.seed + 1, page), page);
    in.lt = generated(dir / "lt.htm", write_repeated_byte_file(dir / "lt.htm", '<', hostile), hostile);
    in.amp = generated(dir / "amp.htm", write_repeated_byte_file(dir / "amp.htm", '&', hostile), hostile);
    in.line = generated(dir / "line.htm", write_long_line_file(dir / "line.htm", line), line + 2);
    for (unsigned i = 0; i < s.files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%05u.htm", i);
        const fs::path path = dir / "many" / name;
        const std::uint64_t size = s.file_kib * 1024;
        in.many.push_back(generated(path, write_page_file(path, s.seed * 1000003 + i, size), size));
    }
    return in;
}

// The rewrite pass cannot be told to make no change, so the line pass is
// timed through the whole tool with every rewrite edit switched off.
const char kLinePassLabel[] = "line pass (proxy, see below)";
const char kLinePassNote[] =
    "the line pass is measured through the whole tool with the rewrite's edits switched off\n"
    "    (-y- -c- -i- -x- -w2147483647): the rewrite still reads and echoes every byte";

const char kPassNote[] =
    "the \"in process\" rows time one pass's streaming core, file to file, inside this benchmark\n"
    "    (this build's code, whatever --zorbel names): no process start, work-file naming or commit";

Case tool_case(const fs::path& tool, std::vector<std::string> options, std::vector<fs::path> inputs,
               const std::string& pattern) {
    std::vector<std::string> argv{tool.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("--");
    argv.push_back(pattern);
    return Case{std::move(inputs), std::move(argv), "", true};
}

const std::vector<std::string> kLinePassOptions = {"-y-", "-c-", "-i-", "-x-", "-w2147483647"};

// One pass's streaming core, run in this process on a file: from a fresh,
// warm copy of the input to a new file beside it, as the tool does, but
// without the work-file naming, the commit and the process start. It runs
// this build's code whatever --zorbel names.
// kBoth: both passes through the public API, as the tool runs a page in one step.
enum class Pass { kLine, kRewrite, kBoth };

Sample time_pass(Pass pass, const fs::path& input, const fs::path& dir) {
    Sample sample;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    const fs::path copy = dir / "in.htm", work = dir / "work.htm";
    if (!copy_bytes(input, copy)) {
        sample.started = false;
        sample.first_error_line = "cannot copy " + input.string();
        return sample;
    }
    int in = open(copy.c_str(), O_RDONLY);
    int out = open(work.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0) fail("cannot open the pass's files in " + dir.string());
    zorbel::FileSource source(zorbel::FileHandle{in});
    zorbel::FileSink sink(zorbel::FileHandle{out});
    const double start = now_seconds();
    bool ok = true;
    if (pass == Pass::kLine) {
        ok = zorbel::strip_lines_stream(source, sink, true, zorbel::kDefaultBlockSize).status ==
             zorbel::LineStreamStatus::kOk;
    } else if (pass == Pass::kRewrite) {
        const zorbel::RewriteOutcome outcome =
            zorbel::rewrite_stream(source, sink, zorbel::Options{}, zorbel::CarriedState{}, zorbel::local_now);
        ok = !outcome.read_failed && !outcome.write_failed && !outcome.stamp_unended;
    } else {
        ok = zorbel::Tidier().tidy(source, sink).error == zorbel::PageError::kNone;
    }
    sample.seconds = now_seconds() - start;
    close(in);
    close(out);
    // A failed pass shows as a failed run, exit status 1.
    sample.wait_status = ok ? 0 : (1 << 8);
    if (!ok) sample.first_error_line = "the pass failed";
    return sample;
}

// The figures the engine's targets are set on, from one run, each against
// its yardstick.
struct TargetFigures {
    double line = 0, rewrite = 0, both = 0;  // MiB/s, in process
    double whole_over_cat = 0;
    double lt_over_typical = 0;
    long peak_kib = 0;
    double rewrite_over_floor = 0;  // in memory, the same bytes
};

void note_targets(Table& table, const TargetFigures& f) {
    auto against = [&](const char* what, double got, const char* unit, const char* target, bool met) {
        table.note(std::string("target: ") + what + " " + format(unit, got) + ", target " + target +
                   (met ? ": met" : ": not met"));
    };
    if (f.both > 0) against("both passes fused, in process", f.both, "%.0f MiB/s", ">= 1536 MiB/s", f.both >= 1536);
    if (f.rewrite > 0) against("rewrite core alone, in process", f.rewrite, "%.0f MiB/s", ">= 1536 MiB/s", f.rewrite >= 1536);
    if (f.line > 0) against("line core alone, in process", f.line, "%.0f MiB/s", ">= 3072 MiB/s", f.line >= 3072);
    if (f.whole_over_cat > 0) against("whole run against cat", f.whole_over_cat, "%.2fx", "<= 4x", f.whole_over_cat <= 4);
    if (f.lt_over_typical > 0) against("'<' only against the big page", f.lt_over_typical, "%.2f", ">= 0.25", f.lt_over_typical >= 0.25);
    if (f.peak_kib > 0) against("peak memory, big page", static_cast<double>(f.peak_kib) / 1024, "%.1f MiB", "<= 8 MiB", f.peak_kib <= 8 * 1024);
    if (f.rewrite_over_floor > 0) {
        // format() holds 64 bytes: the number alone goes through it.
        table.note("the rewrite core runs at " + format("%.2f", f.rewrite_over_floor) +
                   " of the two-stage floor's rate on the same bytes in memory: the floor is what an engine "
                   "of that design reaches here before any rule acts");
    }
}

// The rewrite core against its yardstick, the engine in two stages with no
// rules (engine_floor.h), on the same page held in memory with the output
// thrown away: what is left between them is what the rules cost, and the
// floor's rate bounds what any engine of that design reaches here.
void measure_floor(Table& table, const Settings& s, const fs::path& page_path, TargetFigures& f) {
    std::ifstream file(page_path, std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (page.empty()) return;
    zorbel::bench::EngineFloor engine_floor(page.size());
    const double mib = static_cast<double>(page.size()) / kMiB;
    std::vector<Sample> rewrite_s, floor_s;
    for (unsigned i = 0; i < s.runs; ++i) {
        Sample rewrite;
        zorbel::ViewSource source(page);
        zorbel::DiscardingSink sink;
        double start = now_seconds();
        const zorbel::RewriteOutcome outcome =
            zorbel::rewrite_stream(source, sink, zorbel::Options{}, zorbel::CarriedState{}, zorbel::local_now);
        rewrite.seconds = now_seconds() - start;
        if (outcome.read_failed || outcome.write_failed || outcome.stamp_unended) rewrite.wait_status = 1 << 8;
        rewrite_s.push_back(rewrite);

        Sample floor;
        start = now_seconds();
        (void)engine_floor.run(page, zorbel::Options{}.wrap_margin);
        floor.seconds = now_seconds() - start;
        floor_s.push_back(floor);
    }
    const std::string in = size_text(page.size());
    table.measured("rewrite core, page in memory", in, rewrite_s, mib, "MiB/s", 1, true, false, false);
    table.measured("two-stage floor, no rules, in memory", in, floor_s, mib, "MiB/s", 1, true, false, false);
    if (all_ok(rewrite_s) && median_seconds(rewrite_s) > 0 && median_seconds(floor_s) > 0) {
        f.rewrite_over_floor = median_seconds(floor_s) / median_seconds(rewrite_s);
    }
}

// The line pass alone, then the rewrite pass alone on the line pass's
// output, as the tool runs them one after the other.
void measure_passes(Table& table, const Settings& s, const fs::path& scratch, const fs::path& big, TargetFigures& f) {
    const double big_mib = static_cast<double>(s.big_mib);
    const std::string big_in = size_text(s.big_mib * kMiB);
    const fs::path line_dir = scratch / "line-pass", rewrite_dir = scratch / "rewrite-pass";
    std::vector<Sample> line_s, rewrite_s;
    for (unsigned i = 0; i < s.runs; ++i) line_s.push_back(time_pass(Pass::kLine, big, line_dir));
    table.measured("line pass (stream, in process)", big_in, line_s, big_mib, "MiB/s", 1, true, false, false);
    if (all_ok(line_s) && median_seconds(line_s) > 0) f.line = big_mib / median_seconds(line_s);
    const fs::path stripped = scratch / "stripped.htm";
    std::error_code ec;
    fs::rename(line_dir / "work.htm", stripped, ec);
    if (ec) fail("cannot keep the line pass's output: " + ec.message());
    for (unsigned i = 0; i < s.runs; ++i) rewrite_s.push_back(time_pass(Pass::kRewrite, stripped, rewrite_dir));
    table.measured("rewrite pass (stream, in process)", big_in, rewrite_s, big_mib, "MiB/s", 1, true, false,
                   false);
    if (all_ok(rewrite_s) && median_seconds(rewrite_s) > 0) f.rewrite = big_mib / median_seconds(rewrite_s);
    measure_floor(table, s, stripped, f);
    fs::remove_all(line_dir, ec);
    fs::remove_all(rewrite_dir, ec);
    fs::remove(stripped, ec);
    // Both at once from the page itself, the line pass's output held in memory.
    const fs::path both_dir = scratch / "both-passes";
    std::vector<Sample> both_s;
    for (unsigned i = 0; i < s.runs; ++i) both_s.push_back(time_pass(Pass::kBoth, big, both_dir));
    table.measured("both passes (API, in process)", big_in, both_s, big_mib, "MiB/s", 1, true, false, false);
    if (all_ok(both_s) && median_seconds(both_s) > 0) f.both = big_mib / median_seconds(both_s);
    fs::remove_all(both_dir, ec);
}

void measure_all(Bench& bench, Table& table, const Settings& s, const fs::path& tool, const Inputs& in,
                 const fs::path& scratch) {
    const std::uint64_t big_bytes = s.big_mib * kMiB, page_bytes = s.small_page_mib * kMiB;
    const double big_mib = static_cast<double>(big_bytes) / kMiB;
    const std::string big_in = size_text(big_bytes), page_in = size_text(page_bytes);

    // Interleaved, so drift on a shared machine touches all three alike.
    const Case whole = tool_case(tool, {}, {in.big}, "big.htm");
    const Case line = tool_case(tool, kLinePassOptions, {in.big}, "big.htm");
    const Case cat{{in.big}, {"cat", "big.htm"}, "copy.htm", false};
    std::vector<Sample> whole_s, line_s, cat_s;
    for (unsigned i = 0; i < s.runs; ++i) {
        whole_s.push_back(bench.run_once(whole));
        line_s.push_back(bench.run_once(line));
        cat_s.push_back(bench.run_once(cat));
    }
    table.measured("whole run, big page", big_in, whole_s, big_mib, "MiB/s", 1, true);
    table.measured(kLinePassLabel, big_in, line_s, big_mib, "MiB/s", 1, true);
    table.measured("cat big > copy", big_in, cat_s, big_mib, "MiB/s", 1, true, false);
    const double whole_t = median_seconds(whole_s), cat_t = median_seconds(cat_s);
    TargetFigures targets;
    if (cat_t > 0 && all_ok(whole_s) && all_ok(cat_s)) {
        table.add({"whole run / cat", "", format("%.2fx", whole_t / cat_t), "", "", "", ""});
        targets.whole_over_cat = whole_t / cat_t;
    }
    if (all_ok(whole_s)) targets.peak_kib = peak_kib(whole_s);
    measure_passes(table, s, scratch, in.big, targets);

    std::vector<Sample> page_s = bench.run_many(tool_case(tool, {}, {in.page}, "page.htm"));
    table.measured("whole run, " + page_in + " page", page_in, page_s,
                   static_cast<double>(page_bytes) / kMiB, "MiB/s", 1, true);
    table.add({"peak RSS, big page - " + page_in + " page", "", "", "",
               format("%+.1f MiB", static_cast<double>(peak_kib(whole_s) - peak_kib(page_s)) / 1024), "",
               ""});
    table.measured("spawn floor (true)", "", bench.run_many(Case{{}, {"true"}, "", false}), 0, "", 0, true,
                   false);
    table.measured("many small files", std::to_string(s.files) + " x " + size_text(s.file_kib * 1024),
                   bench.run_many(tool_case(tool, {}, in.many, "*.htm")), s.files, "files/s", s.files, true);

    // Hostile inputs may legitimately end in an error; the table says so.
    const double typical = whole_t > 0 && all_ok(whole_s) ? big_mib / whole_t : 0;
    struct Hostile {
        const char* label;
        const fs::path& input;
        std::uint64_t bytes;
    };
    for (const Hostile& h : {Hostile{"hostile: '<' only", in.lt, s.adversarial_mib * kMiB},
                             Hostile{"hostile: '&' only", in.amp, s.adversarial_mib * kMiB},
                             Hostile{"hostile: one line, no blank", in.line, s.long_line_mib * kMiB}}) {
        std::vector<Sample> hs = bench.run_many(tool_case(tool, {}, {h.input}, h.input.filename().string()));
        const double mib = static_cast<double>(h.bytes) / kMiB, t = median_seconds(hs);
        table.measured(h.label, size_text(h.bytes), hs, mib, "MiB/s", 1, false);
        if (typical > 0 && t > 0 && all_ok(hs)) {
            table.note(std::string(h.label) + ": " + format("%.2f", mib / t / typical) +
                       " of the big page's rate");
            if (&h.input == &in.lt) targets.lt_over_typical = mib / t / typical;
        }
    }
    note_targets(table, targets);
}

}  // namespace

int main(int argc, char** argv) {
    Launcher launcher;  // first, while this process is still small
    Settings s = parse(argc, argv);
    std::error_code ec;
    const fs::path tool = fs::absolute(s.zorbel, ec);
    if (access(tool.c_str(), X_OK) != 0) fail("no executable zorbel at " + tool.string());
    const fs::path scratch = make_scratch(s);
    const Inputs inputs = generate_inputs(s, scratch / "inputs");

    std::printf("zorbel benchmark   %s   nproc %u\n", local_date().c_str(), online_cpus());
    std::printf("tool %s   runs %u (median time; peak RSS is the highest run)   seed %llu\n\n",
                tool.c_str(), s.runs, static_cast<unsigned long long>(s.seed));
    std::fflush(stdout);

    Bench bench(launcher, s, scratch);
    Table table;
    table.timeout_s = s.timeout_s;
    if (s.line_pass_only) {
        table.measured(kLinePassLabel, size_text(s.big_mib * kMiB),
                       bench.run_many(tool_case(tool, kLinePassOptions, {inputs.big}, "big.htm")),
                       static_cast<double>(s.big_mib), "MiB/s", 1, true);
        TargetFigures targets;
        measure_passes(table, s, scratch, inputs.big, targets);
        note_targets(table, targets);
    } else {
        measure_all(bench, table, s, tool, inputs, scratch);
    }
    table.note(kLinePassNote);
    table.note(kPassNote);
    table.print();

    if (!s.scratch.empty() || s.keep) std::printf("  * inputs kept in %s\n", scratch.c_str());
    else fs::remove_all(scratch, ec);
    return table.any_failure ? 1 : 0;
}
