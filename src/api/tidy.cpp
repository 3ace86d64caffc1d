// The in-memory API: the two passes' streaming cores run one after the
// other, choosing their input as the program's file passes do.
#include <string>
#include <type_traits>
#include <utility>

#include "cleanup/line_pass.h"
#include "core/console.h"
#include "core/report.h"
#include "core/run.h"
#include "platform/byte_io.h"
#include "rewrite/rewrite_pass.h"
#include "api/page_run.h"
#include "zorbel/zorbel.h"

namespace zorbel {

namespace {

// The page's name in the program's messages.
constexpr const char* kPageName = "page";

// Each page setting beside the program option it stands for: the one list
// that both mappings walk.
template <typename Visit>
void for_each_setting(Visit&& visit) {
    visit(&PageOptions::wrap_margin, &Options::wrap_margin);
    visit(&PageOptions::cute_quotes, &Options::cute_quotes);
    visit(&PageOptions::nbsp_to_space, &Options::nbsp_to_space);
    visit(&PageOptions::reset_quotes_at_para, &Options::reset_quotes_at_para);
    visit(&PageOptions::strip_indent, &Options::strip_indent);
    visit(&PageOptions::strip_trailing, &Options::strip_trailing);
    visit(&PageOptions::strip_empty_lines, &Options::strip_empty_lines);
    visit(&PageOptions::fix_webx, &Options::fix_webx);
    visit(&PageOptions::dump_editor_junk, &Options::dump_editor_junk);
    visit(&PageOptions::collapse_crlf, &Options::collapse_crlf);
    visit(&PageOptions::datetime_stamps, &Options::datetime_stamps);
}

Options options_from(const PageOptions& page) {
    Options o;
    for_each_setting([&](auto page_field, auto option_field) { o.*option_field = page.*page_field; });
    return o;
}

}  // namespace

PageOptions page_options_of(const Options& o) {
    PageOptions p;
    for_each_setting([&](auto page_field, auto option_field) {
        using Field = std::remove_reference_t<decltype(p.*page_field)>;
        p.*page_field = static_cast<Field>(o.*option_field);
    });
    return p;
}

namespace {

BrokenDownTime broken_down(const StampTime& t) {
    return BrokenDownTime{t.weekday, t.month, t.day, t.year - 1900, t.hour, t.minute};
}

// Replaces what the sink holds with all of the source's bytes.
bool copy_all(ByteSource& from, ByteSink& to, std::size_t block, bool& read_failed) {
    if (!to.truncate(0)) return false;
    ByteBlock buf(block);
    for (std::uint64_t at = 0;;) {
        const long got = from.read_at(at, buf.data(), buf.size());
        if (got == 0) return true;
        if (got < 0) {
            read_failed = true;
            return false;
        }
        if (!to.write_at(at, buf.data(), static_cast<std::size_t>(got))) return false;
        at += static_cast<std::uint64_t>(got);
    }
}

void fail(PageResult& result, PageError error, std::string message) {
    result.error = error;
    result.message = std::move(message);
}

}  // namespace

struct Tidier::State {
    explicit State(const PageOptions& options) : run(console) { run.options = options_from(options); }
    StringConsole console;
    Run run;
};

Tidier::Tidier(PageOptions options) : state_(std::make_unique<State>(options)) {}
Tidier::~Tidier() = default;
Tidier::Tidier(Tidier&&) noexcept = default;
Tidier& Tidier::operator=(Tidier&&) noexcept = default;

void Tidier::set_clock(std::function<StampTime()> clock) {
    state_->run.clock = [clock = std::move(clock)] { return broken_down(clock()); };
}

PageResult tidy_stream(Run& run, [[maybe_unused]] StringConsole& console, ByteSource& page, ByteSink& out) {
    PageResult result;

    // The rewrite reads the line pass's output only when the line pass
    // removed something; line ends alone do not count.
    StringSink lines;
    StringSource stripped_page("");
    ByteSource* rewrite_input = &page;
    if (run.options.strip_trailing) {
        const LineStreamResult line_pass =
            strip_lines_stream(page, lines, run.options.strip_empty_lines != 0, run.block_size);
        if (line_pass.status == LineStreamStatus::kReadFailed) {
            fail(result, PageError::kReadFailed, std::string("couldn't read ") + kPageName + ".");
            return result;
        }
        if (line_pass.stripped) {
            result.lines_changed = true;
            stripped_page = StringSource(std::move(lines.data));
            rewrite_input = &stripped_page;
        }
    }

    const RewriteMode mode{.block_size = run.block_size};
    const RewriteOutcome outcome = rewrite_stream(*rewrite_input, out, run.options,
                                                  {run.after_newline, run.crlf_collapse_active}, run.clock, mode);
    if (outcome.stamp_unended) {
        fail(result, PageError::kVeryLengthy, unended_stamp_message());
    } else {
        run.after_newline = outcome.carried.after_newline;
        run.crlf_collapse_active = outcome.carried.crlf_collapse_active;
    }
    if (result.error == PageError::kNone) {
        if (outcome.read_failed) {
            fail(result, PageError::kReadFailed, std::string("couldn't read ") + kPageName + ".");
        } else if (outcome.write_failed) {
            fail(result, PageError::kWriteFailed, std::string("couldn't write ") + kPageName + ".");
            return result;
        } else if (outcome.quote_error) {
            fail(result, PageError::kUnbalancedQuotes,
                 std::string("unbalanced quotes in ") + kPageName + " (try -d option)");
        } else if (outcome.changed) {
            result.rewrite_changed = true;
            return result;
        }
    }

    // Nothing worth keeping from the rewrite (a wrap inside a tag alone, or
    // an error): the page stays as the line pass left it.
    bool read_failed = false;
    if (!copy_all(*rewrite_input, out, run.block_size, read_failed) && result.error == PageError::kNone) {
        if (read_failed) {
            fail(result, PageError::kReadFailed, std::string("couldn't read ") + kPageName + ".");
        } else {
            fail(result, PageError::kWriteFailed, std::string("couldn't write ") + kPageName + ".");
        }
    }
    return result;
}

PageResult Tidier::tidy(ByteSource& page, ByteSink& out) { return tidy_stream(state_->run, state_->console, page, out); }

TidiedPage Tidier::tidy(std::string_view page) {
    StringSource source{std::string(page)};
    StringSink sink;
    TidiedPage tidied;
    static_cast<PageResult&>(tidied) = tidy(source, sink);
    tidied.bytes = std::move(sink.data);
    return tidied;
}

TidiedPage tidy_page(std::string_view page, const PageOptions& options) { return Tidier(options).tidy(page); }

}  // namespace zorbel
