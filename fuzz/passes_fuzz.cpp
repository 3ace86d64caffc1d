// Fuzzes both passes in memory. Byte 0 picks the options, byte 1 the small
// block size (low three bits), paragraph quote reset (bit 3) and the wrap
// margin (high four bits); the rest is the page. For every input: block
// sizes 1..7 give what the normal size gives, and the rewrite's fast paths
// give what one token at a time gives; both passes in one stream give the
// two passes in a row, in any block size; the line pass leaves CR LF
// line ends only and no trailing white space, and a second line pass finds
// nothing to do; the rewrite with -c- -f- -y- -i- -x- only turns blanks into
// CR LF (but for the editor's comment placeholder, removed always). Running
// the whole tool twice may change a page again (a wrap can leave a trailing
// blank or an indent that the next run removes), but settled output is a
// fixed point: every page settles within the bound on its rounds, with
// small blocks as with large ones, and one more round changes nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_checks.h"
#include "rewrite/tokenizer.h"
#include "api/page_run.h"
#include "core/settings.h"
#include "platform/byte_io.h"
#include "zorbel/zorbel.h"

using namespace zorbel;
using namespace zorbel::fuzz;

#define CHECK(invariant)                                                  \
    do {                                                                  \
        if (!(invariant)) {                                               \
            std::fprintf(stderr, "invariant broken: %s\n", #invariant);  \
            std::abort();                                                 \
        }                                                                 \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned a = data[0], b = data[1];
    const std::string page(reinterpret_cast<const char*>(data) + 2, size - 2);
    Options o;
    o.strip_empty_lines = a & 1;
    o.cute_quotes = a >> 1 & 1;
    o.nbsp_to_space = a >> 2 & 1;
    o.strip_indent = a >> 3 & 1;
    o.fix_webx = a >> 4 & 1;
    o.dump_editor_junk = a >> 5 & 1;
    o.collapse_crlf = a >> 6 & 1;
    o.datetime_stamps = a >> 7 & 1;
    o.reset_quotes_at_para = b >> 3 & 1;
    o.wrap_margin = (b >> 4) == 0 ? 70 : (b >> 4) == 15 ? -1 : static_cast<int>(b >> 4) * 6;
    // No bit is left: the top bits of both bytes, taken together, say
    // whether verbatim elements are kept.
    o.keep_verbatim = (a ^ b) >> 7 & 1;
    const std::size_t block = 1 + (b & 7) % 7;

    const Result l = lines(page, o, kDefaultBlockSize);
    CHECK(same(l, lines(page, o, block)));
    // Verbatim elements keep their trailing blanks and empty lines.
    if (!o.keep_verbatim) CHECK(clean_lines(l.out, o.strip_empty_lines));
    const Result again = lines(l.out, o, kDefaultBlockSize);
    CHECK(again.out == l.out && !again.changed);

    const Result whole = rewrite(page, o, kDefaultBlockSize);
    CHECK(same(whole, rewrite(page, o, block)));
    CHECK(same(whole, rewrite(page, o, block, false)));

    // Both passes in one step give the line pass and then the rewrite of
    // its output, or of the page itself where the line pass only changed
    // line ends; on no change or an error, that input as it stands.
    Tidier tidier(page_options_of(o));
    tidier.set_clock([] { return StampTime{3, 6, 9, 2024, 14, 5}; });
    const TidiedPage fused = tidier.tidy(page);
    const std::string staged = l.changed ? l.out : page;
    const Result second = rewrite(staged, o, kDefaultBlockSize);
    CHECK(fused.lines_changed == l.changed);
    CHECK((fused.error != PageError::kNone) == second.failed);
    CHECK(fused.rewrite_changed == (second.changed && !second.failed));
    CHECK(fused.bytes == (second.changed && !second.failed ? second.out : staged));

    // The same stream in tiny blocks: the line pass then settles the
    // rewrite's input only after the rewrite has started.
    RunSettings settings;
    settings.options = o;
    settings.block_size = block;
    settings.clock = [] { return BrokenDownTime{3, 6, 9, 124, 14, 5}; };
    CarriedState carried;
    StringSource source(page);
    StringSink out;
    const PageResult small = tidy_stream(settings, carried, source, out);
    CHECK(small.error == fused.error && small.lines_changed == fused.lines_changed);
    CHECK(small.rewrite_changed == fused.rewrite_changed && out.data == fused.bytes);

    // Settled output: a page that does not settle within the bound aborts
    // here, so the fuzzer finds one if there is one.
    PageOptions settling = page_options_of(o);
    settling.settle = true;
    Tidier settler(settling);
    settler.set_clock([] { return StampTime{3, 6, 9, 2024, 14, 5}; });
    const TidiedPage settled = settler.tidy(page);
    CHECK(settled.error != PageError::kUnsettled);
    if (settled.error == PageError::kNone) {
        CHECK(settled.rounds >= 1 && settled.rounds <= kMaxSettleRounds);
        CHECK(settled.changed() || settled.bytes == page);
        Tidier once(page_options_of(o));
        once.set_clock([] { return StampTime{3, 6, 9, 2024, 14, 5}; });
        const TidiedPage more = once.tidy(settled.bytes);
        // A stamp counts as a change whenever it is written; its bytes stay.
        CHECK(more.error == PageError::kNone && more.bytes == settled.bytes);
    }

    Options plain;
    plain.cute_quotes = plain.dump_editor_junk = plain.datetime_stamps = plain.strip_indent = plain.fix_webx = 0;
    // The comment placeholder goes whatever -f says: the one other edit.
    const Result r = rewrite(page, plain, block);
    CHECK(r.failed || page.find(kCommentPlaceholderNamespace) != std::string::npos || only_blanks_to_crlf(page, r.out));

    return 0;
}
