#include "fmt/program.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "api/spill.h"
#include "fmt/diff.h"
#include "fmt/options.h"
#include "fmt/paths.h"
#include "fmt/replace.h"
#include "fmt/status.h"
#include "platform/byte_io.h"
#include "zorbel/zorbel.h"

namespace zorbel::fmt {

namespace {

constexpr const char* kName = "zorbel-fmt";

// What one page comes to, printed in path order.
struct Outcome {
    std::string out;
    std::string err;
    bool changes = false;  // it would change (--check) or did
    bool failed = false;
};

std::string failure_line(const std::string& path, const std::string& what) {
    return std::string(kName) + ": " + path + ": " + what + "\n";
}

// The words for a page the passes could not tidy.
std::string tidy_failure(const PageResult& result) {
    switch (result.error) {
        case PageError::kUnbalancedQuotes: return "cannot tidy: unbalanced quotes (a double quote open at the end)";
        case PageError::kVeryLengthy: return "cannot tidy: a DATETIME marker with no tag after it";
        case PageError::kUnsettled:
            return "cannot settle: still changing after " + std::to_string(kMaxSettleRounds) + " rounds";
        case PageError::kReadFailed: return "cannot read: the read failed";
        case PageError::kWriteFailed: return "cannot write: out of room for the tidied page";
        case PageError::kNone: break;
    }
    return {};
}

// All bytes of a source, for the diff.
std::string read_all(ByteSource& source) {
    std::string bytes;
    unsigned char block[64 * 1024];
    for (;;) {
        const long got = source.read_at(bytes.size(), block, sizeof block);
        if (got <= 0) return bytes;
        bytes.append(reinterpret_cast<const char*>(block), static_cast<std::size_t>(got));
    }
}

// Everything a page's tidying needs that is the same for every page.
struct Job {
    const FmtOptions& options;
    PageOptions page;
    StampTime now;
    bool color;
};

Tidier fresh_tidier(const Job& job) {
    Tidier tidier(job.page);
    const StampTime now = job.now;
    tidier.set_clock([now] { return now; });
    return tidier;
}

// One page of the paths: tidied from the initial state and, in place,
// replaced through the group's replacer.
Outcome tidy_path(const Job& job, const std::string& path, PageReplacer& replacer) {
    Outcome outcome;
    auto fail = [&](const std::string& what) {
        outcome.err += failure_line(path, what);
        outcome.failed = true;
        return outcome;
    };
    const bool writes = !job.options.check && !job.options.diff;
    if (writes) {
        if (auto holder = replacer.held_by_another(path)) {
            outcome.err += failure_line(path, "skipped: " + *holder);
            return outcome;
        }
    }
    int error = 0;
    PageFile page(path, error);
    if (error != 0) return fail("cannot read: " + system_reason(error));
    SpillBuffer tidied;
    Tidier tidier = fresh_tidier(job);
    const PageResult result = tidier.tidy(page.source(), tidied);
    if (result.error != PageError::kNone) {
        if (result.error == PageError::kWriteFailed && tidied.file_error() != 0) {
            return fail("cannot hold the tidied page: " + system_reason(tidied.file_error()));
        }
        return fail(tidy_failure(result));
    }
    if (!result.changed()) return outcome;
    outcome.changes = true;
    if (job.options.check && !job.options.diff) outcome.out = path + "\n";
    if (job.options.diff) {
        outcome.out = unified_diff(path, read_all(page.source()), read_all(tidied), job.color);
    }
    if (writes) {
        page.close();
        if (auto failure = replacer.replace(path, tidied)) return fail(failure->what + ": " + failure->reason);
    }
    return outcome;
}

// Standard input to standard output. A page that cannot be tidied is
// written back as it came, so that an editor's buffer is never lost.
int run_filter(const Job& job) {
    // A file given as standard input is read where it lies; a pipe is read
    // once into a buffer that the rounds can read again.
    const std::unique_ptr<ByteSource> file = standard_input_if_file();
    SpillBuffer spooled;
    ByteSource& input = file ? *file : static_cast<ByteSource&>(spooled);
    if (!file) {
        unsigned char block[64 * 1024];
        for (std::uint64_t at = 0;;) {
            const std::size_t got = std::fread(block, 1, sizeof block, stdin);
            if (got > 0 && !spooled.write_at(at, block, got)) {
                std::fputs(failure_line("-", "cannot hold the page: " + system_reason(spooled.file_error())).c_str(),
                           stderr);
                return kExitTrouble;
            }
            at += got;
            if (got < sizeof block) break;
        }
        if (std::ferror(stdin)) {
            std::fputs(failure_line("-", "cannot read standard input").c_str(), stderr);
            return kExitTrouble;
        }
    }
    SpillBuffer tidied;
    Tidier tidier = fresh_tidier(job);
    const PageResult result = tidier.tidy(input, tidied);
    int status = kExitOk;
    ByteSource* out = &tidied;
    if (result.error != PageError::kNone) {
        std::fputs(failure_line("-", tidy_failure(result)).c_str(), stderr);
        status = kExitTrouble;
        out = &input;
    } else if (result.changed() && (job.options.check || job.options.diff)) {
        status = job.options.check ? kExitChanges : kExitOk;
    }
    if (job.options.diff) {
        const std::string diff = result.error == PageError::kNone && result.changed()
                                     ? unified_diff("-", read_all(input), read_all(tidied), job.color)
                                     : std::string();
        std::fwrite(diff.data(), 1, diff.size(), stdout);
    } else if (job.options.check) {
        if (result.error == PageError::kNone && result.changed()) std::fputs("-\n", stdout);
    } else {
        unsigned char block[64 * 1024];
        for (std::uint64_t at = 0;;) {
            const long got = out->read_at(at, block, sizeof block);
            if (got <= 0) break;
            std::fwrite(block, 1, static_cast<std::size_t>(got), stdout);
            at += static_cast<std::uint64_t>(got);
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs(failure_line("-", "cannot write standard output").c_str(), stderr);
        status = kExitTrouble;
    }
    return status;
}

// The pages in path order, each resolved once: a page named twice, or
// reached through a link as well, is tidied once, at its first place.
// Pages that share a backup name form one group, tidied one after the
// other in path order by one worker, so that the backup rules hold as in
// a run that takes the pages in turn; groups go to the workers in parallel.
struct Plan {
    std::vector<Found> pages;
    std::vector<std::vector<std::size_t>> groups;
};

Plan plan_of(std::vector<Found> found) {
    Plan plan;
    std::map<std::string, std::size_t> seen;      // resolved page -> its index
    std::map<std::string, std::size_t> group_of;  // backup key -> its group
    for (Found& f : found) {
        if (f.failure.empty()) {
            int error = 0;
            const std::string resolved = resolved_path(f.path, error);
            if (resolved.empty()) {
                f.failure = "cannot read: " + system_reason(error);
            } else if (!seen.emplace(resolved, plan.pages.size()).second) {
                continue;
            } else {
                const auto [at, fresh] = group_of.emplace(backup_key(resolved), plan.groups.size());
                if (fresh) plan.groups.emplace_back();
                plan.groups[at->second].push_back(plan.pages.size());
            }
        }
        plan.pages.push_back(std::move(f));
    }
    return plan;
}

int run_paths(const Job& job) {
    Plan plan = plan_of(find_pages(job.options.paths, job.options.excludes));
    std::vector<Outcome> outcomes(plan.pages.size());
    std::vector<char> done(plan.pages.size(), 0);
    for (std::size_t i = 0; i < plan.pages.size(); ++i) {
        if (!plan.pages[i].failure.empty()) {
            outcomes[i].err = failure_line(plan.pages[i].path, plan.pages[i].failure);
            outcomes[i].failed = true;
            done[i] = 1;
        }
    }
    std::mutex lock;
    std::condition_variable finished;
    std::atomic<std::size_t> next_group{0};
    auto work = [&] {
        for (std::size_t g; (g = next_group++) < plan.groups.size();) {
            PageReplacer replacer(job.options.backup);
            for (const std::size_t i : plan.groups[g]) {
                Outcome outcome;
                try {
                    outcome = tidy_path(job, plan.pages[i].path, replacer);
                } catch (const std::bad_alloc&) {
                    outcome.err = failure_line(plan.pages[i].path, "cannot tidy: out of memory");
                    outcome.failed = true;
                } catch (const std::exception& e) {
                    outcome.err = failure_line(plan.pages[i].path, std::string("cannot tidy: ") + e.what());
                    outcome.failed = true;
                }
                const std::lock_guard<std::mutex> hold(lock);
                outcomes[i] = std::move(outcome);
                done[i] = 1;
                finished.notify_all();
            }
        }
    };
    const unsigned jobs = job.options.jobs != 0 ? job.options.jobs : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    try {
        for (unsigned w = 0; w < std::min<std::size_t>(jobs, plan.groups.size()); ++w) workers.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads than asked for: those there are do the work.
    }
    if (workers.empty()) work();
    // The results in path order, each as soon as it and every one before
    // it are done.
    bool any_changes = false, any_failed = false;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        Outcome outcome;
        {
            std::unique_lock<std::mutex> hold(lock);
            finished.wait(hold, [&] { return done[i] != 0; });
            outcome = std::move(outcomes[i]);
        }
        std::fwrite(outcome.out.data(), 1, outcome.out.size(), stdout);
        std::fflush(stdout);
        std::fwrite(outcome.err.data(), 1, outcome.err.size(), stderr);
        any_changes = any_changes || outcome.changes;
        any_failed = any_failed || outcome.failed;
    }
    for (std::thread& w : workers) w.join();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs((std::string(kName) + ": cannot write standard output\n").c_str(), stderr);
        any_failed = true;
    }
    if (any_failed) return kExitTrouble;
    return any_changes && job.options.check ? kExitChanges : kExitOk;
}

}  // namespace

int main_program(int argc, const char* const* argv) {
    // Bytes are bytes, in messages too: no line-end translation anywhere.
    binary_standard_streams();
    CommandLine line = read_command_line(argc, argv);
    std::fputs(line.out.c_str(), stdout);
    std::fputs(line.err.c_str(), stderr);
    if (!line.options) return line.status;
    const FmtOptions& options = *line.options;
    Job job{options, options.page, clock_now(),
            options.color == Color::kAlways || (options.color == Color::kAuto && stdout_is_terminal())};
    job.page.settle = options.settle;
    const bool filter = options.paths.empty() || (options.paths.size() == 1 && options.paths[0] == "-");
    if (!filter && std::find(options.paths.begin(), options.paths.end(), "-") != options.paths.end()) {
        std::fputs((std::string(kName) + ": -: standard input is tidied alone, with no other PATH\nTry '" + kName +
                    " --help' for more information.\n")
                       .c_str(),
                   stderr);
        return kExitTrouble;
    }
    try {
        if (filter) return run_filter(job);
        return run_paths(job);
    } catch (const std::bad_alloc&) {
        std::fputs((std::string(kName) + ": out of memory\n").c_str(), stderr);
        return kExitTrouble;
    }
}

}  // namespace zorbel::fmt
