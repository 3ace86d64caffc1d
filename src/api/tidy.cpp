// The API and the program's one-step path: the two passes' streaming cores
// run as one stream, the rewrite reading what the program's file passes
// would have it read.
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "cleanup/line_pass.h"
#include "platform/byte_io.h"
#include "rewrite/rewrite_pass.h"
#include "api/page_run.h"
#include "api/spill.h"
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
    visit(&PageOptions::keep_verbatim, &Options::keep_verbatim);
}

Options options_from(const PageOptions& page) {
    Options o;
    for_each_setting([&](auto page_field, auto option_field) { o.*option_field = page.*page_field; });
    return o;
}

}  // namespace

Error error_of(PageError error, const std::string& path) {
    switch (error) {
        case PageError::kUnbalancedQuotes: return Error{ErrorKind::kUnbalancedQuotes, path, ""};
        case PageError::kVeryLengthy: return Error{ErrorKind::kVeryLengthy, path, ""};
        case PageError::kReadFailed: return Error{ErrorKind::kCannotRead, path, ""};
        case PageError::kNone:
        case PageError::kWriteFailed:
        // Only a settled page fails so, and the program never settles.
        case PageError::kUnsettled: break;
    }
    return Error{ErrorKind::kCannotWrite, path, ""};
}

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
    return to.truncate(0) && copy_bytes(from, to, block, read_failed);
}

void fail(PageResult& result, PageError error) {
    result.error = error;
    result.message = error_message(error_of(error, kPageName));
}

// A failure whose message is the library's own: the program never meets it.
void fail(PageResult& result, PageError error, std::string message) {
    result.error = error;
    result.message = std::move(message);
}

}  // namespace

struct Tidier::State {
    explicit State(const PageOptions& options) : settle(options.settle) { settings.options = options_from(options); }
    bool settle;
    RunSettings settings;
    CarriedState carried;
};

Tidier::Tidier(PageOptions options) : state_(std::make_unique<State>(options)) {}
Tidier::~Tidier() = default;
Tidier::Tidier(Tidier&&) noexcept = default;
Tidier& Tidier::operator=(Tidier&&) noexcept = default;

void Tidier::set_clock(std::function<StampTime()> clock) {
    state_->settings.clock = [clock = std::move(clock)] { return broken_down(clock()); };
}

namespace {

// The line pass's output held whole, for a page whose rewrite moved back
// further than a StrippedLines keeps (no page is known to make it).
StringSource stripped_whole(const RunSettings& settings, ByteSource& page) {
    StringSink lines;
    (void)strip_lines_stream(page, lines, settings.options.strip_empty_lines != 0, settings.block_size,
                             settings.options.keep_verbatim != 0);
    return StringSource(std::move(lines.data));
}

// The rewrite run over its input into an emptied sink, from the carried
// state the page started with.
using RewriteFrom = std::function<RewriteOutcome(ByteSource&)>;

// What the rewrite read, and how both passes ended.
struct StreamedPasses {
    RewriteOutcome outcome;
    bool lines_changed = false;
    bool read_failed = false;  // the line pass could not read the page
    // The rewrite read the line pass's output, from the stream or held.
    bool read_lines = false;
    std::optional<StringSource> lines_held;
};

// Whether the rewrite is to read the line pass's output, where that is
// cheap to know before it starts; nothing where the line pass's end must
// settle it.
std::optional<bool> lines_wanted_up_front(StrippedLines& lines, ByteSource& page, const RunSettings& settings,
                                          bool& read_failed) {
    lines.read_ahead();
    const LineStreamResult& first = lines.so_far();
    read_failed = first.status == LineStreamStatus::kReadFailed;
    // The whole page was in the first block: the choice is known.
    if (lines.settled()) return first.stripped || !first.line_ends_added;
    if (first.stripped) return true;
    // A longer page with bare LFs, or no line end so far: the line pass
    // may well change nothing but line ends. Finding its first removal
    // costs far less than a second rewrite would.
    if (first.line_ends_added || !lines.crlf_seen()) {
        const LineStreamResult probe = find_first_strip(page, settings.options.strip_empty_lines != 0, settings.block_size,
                                                            settings.options.keep_verbatim != 0);
        read_failed = probe.status == LineStreamStatus::kReadFailed;
        return probe.stripped;
    }
    return std::nullopt;
}

// The rewrite reads the line pass's output as the line core makes it, a
// block at a time, so the page is read once. That output is the rewrite's
// input only when the line pass removed something, which is settled at the
// page's last line at the latest; line ends alone do not count, and when
// they are all it changes, the rewrite reads the page itself.
StreamedPasses stream_both_passes(const RunSettings& settings, ByteSource& page, const RewriteFrom& rewrite_from) {
    StreamedPasses passes;
    StrippedLines lines(page, settings.options.strip_empty_lines != 0, settings.block_size, kStrippedHistory,
                            settings.options.keep_verbatim != 0);
    const std::optional<bool> wanted = lines_wanted_up_front(lines, page, settings, passes.read_failed);
    if (passes.read_failed) return passes;
    if (wanted == false) {
        passes.outcome = rewrite_from(page);
        return passes;
    }
    // Otherwise the page so far is as the line pass leaves it, as a page
    // tidied before is: the rewrite reads the lines, and in the rare case
    // that the line pass ends up changing only line ends after all, runs
    // again from the page.
    passes.outcome = rewrite_from(lines);
    const LineStreamResult line_pass = lines.finish();
    passes.read_failed = line_pass.status == LineStreamStatus::kReadFailed;
    passes.lines_changed = passes.read_lines = line_pass.stripped;
    if (lines.out_of_reach() && line_pass.stripped) {
        passes.lines_held.emplace(stripped_whole(settings, page));
        passes.outcome = rewrite_from(*passes.lines_held);
    } else if (lines.out_of_reach() || (!line_pass.stripped && line_pass.line_ends_added)) {
        passes.outcome = rewrite_from(page);
    }
    return passes;
}

}  // namespace

PageResult tidy_stream(const RunSettings& settings, CarriedState& carried_state, ByteSource& page, ByteSink& out,
                       UnchangedPage unchanged) {
    PageResult result;
    const CarriedState carried = carried_state;
    const RewriteMode mode{.block_size = settings.block_size};
    // The rewrite starts from an empty sink, again when it runs a second time.
    const RewriteFrom rewrite_from = [&](ByteSource& input) {
        if (!out.truncate(0)) {
            RewriteOutcome cut_failed;
            cut_failed.write_failed = true;
            return cut_failed;
        }
        return rewrite_stream(input, out, settings.options, carried, settings.clock, mode);
    };

    StreamedPasses passes;
    if (settings.options.strip_trailing) {
        passes = stream_both_passes(settings, page, rewrite_from);
        if (passes.read_failed) {
            fail(result, PageError::kReadFailed);
            return result;
        }
    } else {
        passes.outcome = rewrite_from(page);
    }
    result.lines_changed = passes.lines_changed;
    const RewriteOutcome& outcome = passes.outcome;

    if (outcome.stamp_unended) {
        fail(result, PageError::kVeryLengthy);
    } else {
        carried_state = outcome.carried;
    }
    if (result.error == PageError::kNone) {
        if (outcome.read_failed) {
            fail(result, PageError::kReadFailed);
        } else if (outcome.write_failed) {
            fail(result, PageError::kWriteFailed);
            return result;
        } else if (outcome.quote_error) {
            fail(result, PageError::kUnbalancedQuotes);
        } else if (outcome.changed) {
            result.rewrite_changed = true;
            return result;
        }
    }

    // Nothing worth keeping from the rewrite (a wrap inside a tag alone, or
    // an error): the page stays as the line pass left it.
    if (!result.lines_changed && result.error == PageError::kNone && unchanged == UnchangedPage::kNotCopied) {
        return result;
    }
    bool read_failed = false;
    bool copied;
    if (passes.lines_held) {
        copied = copy_all(*passes.lines_held, out, settings.block_size, read_failed);
    } else if (passes.read_lines) {
        StrippedLines lines(page, settings.options.strip_empty_lines != 0, settings.block_size, kStrippedHistory,
                            settings.options.keep_verbatim != 0);
        copied = copy_all(lines, out, settings.block_size, read_failed);
    } else {
        copied = copy_all(page, out, settings.block_size, read_failed);
    }
    if (!copied && result.error == PageError::kNone) {
        if (read_failed) {
            fail(result, PageError::kReadFailed);
        } else {
            fail(result, PageError::kWriteFailed);
        }
    }
    return result;
}

namespace {

// The rounds of a settled page. Each round starts from the carried state
// the page started with and reads the one before it; the clock is read
// once, so that a stamp written in one round is the same in the next.
PageResult tidy_settled(const RunSettings& settings, CarriedState& carried, ByteSource& page, ByteSink& out) {
    const CarriedState start = carried;
    RunSettings run = settings;
    const BrokenDownTime now = settings.clock();
    run.clock = [now] { return now; };

    SpillBuffer rounds[2];
    ByteSource* input = &page;
    PageResult total;
    total.rounds = 0;
    // The bytes the page ends as, written to out at the end.
    auto finish = [&](ByteSource& final_bytes) {
        bool read_failed = false;
        if (!copy_all(final_bytes, out, run.block_size, read_failed) && total.error == PageError::kNone) {
            if (read_failed) {
                fail(total, PageError::kReadFailed);
            } else {
                fail(total, PageError::kWriteFailed);
            }
        }
        return total;
    };
    for (int round = 0;; ++round) {
        if (round == kMaxSettleRounds) {
            fail(total, PageError::kUnsettled,
                 std::string(kPageName) + " still changed after " + std::to_string(kMaxSettleRounds) + " rounds.");
            return finish(*input);
        }
        SpillBuffer& buffer = rounds[round % 2];
        RoundOutput output(*input, buffer, run.block_size);
        (void)output.truncate(0);
        carried = start;
        const PageResult result = tidy_stream(run, carried, *input, output, UnchangedPage::kNotCopied);
        ++total.rounds;
        if (result.error != PageError::kNone) {
            total.error = result.error;
            total.message = result.message;
            return output.into_buffer() ? finish(buffer) : finish(*input);
        }
        if (output.read_failed()) {
            fail(total, PageError::kReadFailed);
            return finish(*input);
        }
        // A round that gives its input back byte for byte changed nothing,
        // whatever it rewrote (a stamp with the time it already showed).
        if (!result.changed() || output.same_as_input()) return finish(*input);
        // An output that is a shorter part of the input is in the buffer
        // only now.
        if (!output.into_buffer()) {
            if (output.read_failed()) {
                fail(total, PageError::kReadFailed);
            } else {
                fail(total, PageError::kWriteFailed);
            }
            return finish(*input);
        }
        total.lines_changed = total.lines_changed || result.lines_changed;
        total.rewrite_changed = total.rewrite_changed || result.rewrite_changed;
        input = &buffer;
    }
}

}  // namespace

PageResult Tidier::tidy(ByteSource& page, ByteSink& out) {
    if (state_->settle) return tidy_settled(state_->settings, state_->carried, page, out);
    return tidy_stream(state_->settings, state_->carried, page, out);
}

TidiedPage Tidier::tidy(std::string_view page) {
    ViewSource source{page};
    StringSink sink;
    // The tidied page is about as long as the page: room for it, and a
    // little more, taken at once rather than by doublings, each of which
    // copies what is written and touches fresh memory.
    sink.data.reserve(page.size() + page.size() / 16 + 64);
    TidiedPage tidied;
    static_cast<PageResult&>(tidied) = tidy(source, sink);
    tidied.bytes = std::move(sink.data);
    return tidied;
}

TidiedPage tidy_page(std::string_view page, const PageOptions& options) { return Tidier(options).tidy(page); }

}  // namespace zorbel
