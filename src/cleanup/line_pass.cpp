#include "cleanup/line_pass.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "core/element_scan.h"
#include "platform/byte_scan.h"

namespace zorbel {

namespace {

// White space that the trailing cut removes: tab, LF, VT, FF, CR, space.
constexpr ByteSet kCutSpace = byte_set(0, {'\t', '\n', '\v', '\f', '\r', ' '});
inline bool is_cut_space(unsigned char c) { return ByteSetForms<kCutSpace>::has(c); }

// White space that never ends a line: the cut removes it only at a line's end.
inline bool is_inner_blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Bytes that leave a line blank: spaces and control characters, NUL excluded.
inline bool is_blank_byte(unsigned char c) { return c >= 0x01 && c <= 0x20; }

class LineStripper {
public:
    LineStripper(ByteSource& source, ByteSink& sink, bool strip_empty_lines, std::size_t block_size,
                 bool keep_verbatim = false)
        : source_(source),
          sink_(sink),
          strip_empty_(strip_empty_lines),
          keep_verbatim_(keep_verbatim),
          block_(std::max<std::size_t>(block_size, 1)),
          in_(block_),
          out_block_(std::max(block_, 2 * kMostOutPerBlock)),
          out_(out_block_ + kMostOutPerBlock) {}

    LineStreamResult run() {
        while (pump()) {
        }
        return result_;
    }

    // Reads and strips the next block of the source; at its end, closes the
    // last line. False once the source is done or a step failed: the result
    // is then final. With flush_each_block set, everything stripped so far
    // has reached the sink when it returns.
    bool pump() {
        if (finished_) return false;
        const long got = source_.read_at(next_, in_.data(), block_);
        if (got < 0) {
            fail(LineStreamStatus::kReadFailed);
            return finish();
        }
        if (got == 0) {
            // A CR at the very end is not followed by LF: an ordinary byte.
            if (cr_held_) take('\r', cr_offset_);
            if (line_open_ && result_.status == LineStreamStatus::kOk) {
                result_.line_ends_added = true;
                end_line();
            }
            if (result_.status == LineStreamStatus::kOk) flush_output();
            return finish();
        }
        in_start_ = next_;
        strip_block(static_cast<std::size_t>(got));
        if (result_.status != LineStreamStatus::kOk) return finish();
        next_ += static_cast<std::uint64_t>(got);
        if (flush_each_block_) flush_output();
        return result_.status == LineStreamStatus::kOk || finish();
    }

    // Bytes read from the source so far.
    std::uint64_t read_length() const { return next_; }

    const LineStreamResult& result() const { return result_; }
    bool finished() const { return finished_; }
    bool crlf_seen() const { return crlf_seen_; }

    void flush_each_block() { flush_each_block_ = true; }

private:
    void strip_block(std::size_t count) {
        // Where the masks may be tried again after they left a line to step().
        std::size_t masks_from = 0;
        for (std::size_t i = 0; i < count;) {
            if (i >= masks_from && !keep_verbatim_ && !cr_held_ && count - i >= kBlockBytes) {
                // Whole lines, 64 bytes at a time, while the lines are plain.
                const std::size_t next = strip_masked(i, count);
                if (result_.status != LineStreamStatus::kOk) return;
                if (next != i) {
                    i = next;
                    continue;
                }
                // The line here is stepped to its end before the masks are tried again.
                const void* lf = std::memchr(in_.data() + i, '\n', count - i);
                masks_from = lf ? static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - in_.data()) + 1 : count;
            }
            if (in_[i] > 0x20 && !cr_held_) {
                // A run of text from a text byte to the last text byte
                // before a line end, a CR or a control byte: blanks
                // inside it have text after them on the same line, so
                // they stay. The run and everything held before it are
                // written; blanks after it are held as usual.
                const unsigned char* data = in_.data();
                std::size_t stop = i + 1;
                for (;;) {
                    stop += ByteSetForms<kLineStops>::find(data + stop, count - stop);
                    if (stop == count || !is_inner_blank(data[stop])) break;
                    ++stop;
                }
                // Only text and inner blanks lie before stop, and data[i] is text.
                std::size_t end = stop;
                while (data[end - 1] <= 0x20) --end;
                if (keep_verbatim_) elements_.feed(data + i, end - i);
                line_open_ = true;
                blank_so_far_ = false;
                write_pending();
                put_bytes(in_.data() + i, end - i);
                i = end;
            } else {
                if (keep_verbatim_) elements_.step(in_[i]);
                step(in_[i], next_ + i);
                ++i;
            }
            if (result_.status != LineStreamStatus::kOk) return;
        }
    }

    // The byte sets the masked reading looks for, in one load of a block.
    static constexpr ByteSet kLineFeed = byte_set(0, {'\n'});
    static constexpr ByteSet kReturn = byte_set(0, {'\r'});
    static constexpr ByteSet kUpToBlank = byte_set(0x21);  // NUL too: a line of NUL alone is left to step()
    using Blocks = ByteSetBlock<kLineFeed, kReturn, kCutSpace, kUpToBlank>;
    using UpToBlank = ByteSetForms<kUpToBlank>;
    // A block's lines written by the masks: its bytes and a CR for each LF.
    static constexpr std::size_t kMostOutPerBlock = 2 * kBlockBytes;

    // The bits of positions from..to-1 of a block.
    static std::uint64_t bits_between(std::size_t from, std::size_t to) {
        const std::uint64_t up_to = to >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
        return up_to & (~std::uint64_t{0} << from);
    }

    // Writes what is held, then the block's bytes from pos up to and with
    // the last one of keep (bits at or after pos, one at least), which it
    // returns. The output has room for them (kMostOutPerBlock).
    [[gnu::always_inline]] std::size_t write_through(std::uint64_t keep, const unsigned char* block, std::size_t pos) {
        const auto last = static_cast<std::size_t>(63 - std::countl_zero(keep));
        if (pending_length_ > 0) write_pending();
        scan::copy_upto_64(out_.data() + out_used_, block + pos, last + 1 - pos);
        out_used_ += last + 1 - pos;
        return last;
    }

    // Strips the block's bytes from i, kBlockBytes at a time, in the states
    // where a line's bytes settle from masks alone:
    // - at a line's start;
    // - with blank lines dropped, inside a line of blanks so far, all held;
    // - inside a line after a byte that is not white space, with the white
    //   space after it held.
    // In the first two, a line with a byte above 0x20 is written up to its
    // last byte that is not white space (which lies at or after its first
    // byte, so the first is never cut), with the white space after it held
    // or, at the LF, dropped; a line of white space alone is dropped when
    // blank lines are. Anything else (a control byte other than white
    // space in a line that may be blank, a line of white space that keeps
    // its first byte, a CR at a block's end) is left to step() from where
    // the masks stopped. Returns the index reached.
    std::size_t strip_masked(std::size_t i, std::size_t count) {
        const unsigned char* data = in_.data();
        unsigned char* out = out_.data();
        while (count - i >= kBlockBytes) {
            // At a line's start, or in a line of blanks so far (only held
            // so while blank lines are dropped).
            bool blank_so_far = !line_open_ || (strip_empty_ && blank_so_far_);
            if (out_used_ >= out_block_) {
                flush_full_block();
                if (result_.status != LineStreamStatus::kOk) return i;
            }
            const Blocks::Masks m = Blocks::of(data + i);
            if (m[3] == 0) {
                // Text bytes alone, most likely inside a long line: they and
                // the text after them up to the next blank or control byte
                // are written in one step, as they hold nothing to act on.
                const std::size_t more = UpToBlank::find(data + i + kBlockBytes, count - i - kBlockBytes);
                if (pending_length_ > 0) write_pending();
                put_bytes(data + i, kBlockBytes + more);
                line_open_ = true;
                blank_so_far_ = false;
                i += kBlockBytes + more;
                if (result_.status != LineStreamStatus::kOk) return i;
                continue;
            }
            std::uint64_t feeds = m[0];
            const std::uint64_t returns = m[1], kept = ~m[2], text = ~m[3];
            // Control bytes that are not white space (and NUL): blank or
            // not, they are never cut, which only step() sorts out.
            const std::uint64_t odd = kept & ~text;
            std::size_t pos = 0;
            while (feeds != 0) {
                const auto q = static_cast<std::size_t>(std::countr_zero(feeds));
                feeds &= feeds - 1;
                const std::uint64_t line = bits_between(pos, q);
                const bool has_cr = q > pos && ((returns >> (q - 1)) & 1) != 0;
                if (blank_so_far && ((odd & line) != 0 || ((text & line) == 0 && !strip_empty_))) return i + pos;
                crlf_seen_ |= has_cr;
                if (blank_so_far && (text & line) == 0) {
                    // A blank line, dropped.
                    result_.stripped = true;
                } else {
                    std::size_t removed = 0;
                    if (const std::uint64_t keep = kept & line) {
                        const std::size_t last = write_through(keep, data + i, pos);
                        removed = q - (last + 1);
                    } else {
                        // White space alone after the line's text: all of it trailing.
                        removed = static_cast<std::size_t>(pending_length_) + (q - pos);
                    }
                    result_.stripped |= removed > (has_cr ? 1u : 0u);
                    out[out_used_] = '\r';
                    out[out_used_ + 1] = '\n';
                    out_used_ += 2;
                }
                result_.line_ends_added |= !has_cr;
                pending_length_ = 0;
                line_open_ = false;
                blank_so_far_ = true;
                blank_so_far = true;
                pos = q + 1;
            }
            if (pos == kBlockBytes) {
                i += kBlockBytes;
                continue;
            }
            const std::uint64_t tail = bits_between(pos, kBlockBytes);
            // A CR at the end may belong to a line end in the next block.
            if ((returns >> 63) != 0) return i + pos;
            if (blank_so_far && ((odd & tail) != 0 || ((text & tail) == 0 && !strip_empty_))) return i + pos;
            if (const std::uint64_t keep = blank_so_far && (text & tail) == 0 ? 0 : kept & tail) {
                const std::size_t last = write_through(keep, data + i, pos);
                if (last + 1 < kBlockBytes) {
                    pending_start_ = in_start_ + i + last + 1;
                    pending_length_ = kBlockBytes - (last + 1);
                }
                blank_so_far_ = false;
            } else {
                // More white space: after the line's text, or in a line of
                // blanks so far; either way right after what is held.
                if (pending_length_ == 0) pending_start_ = in_start_ + i + pos;
                pending_length_ += kBlockBytes - pos;
                blank_so_far_ = blank_so_far;
            }
            line_open_ = true;
            i += kBlockBytes;
            if (result_.status != LineStreamStatus::kOk) return i;
        }
        return i;
    }

    bool finish() {
        finished_ = true;
        result_.out_length = out_offset_;
        return false;
    }

    void step(unsigned char c, std::uint64_t offset) {
        if (cr_held_) {
            cr_held_ = false;
            if (c == '\n') {
                crlf_seen_ = true;
                end_line();
                return;
            }
            take('\r', cr_offset_);
        }
        if (c == '\r') {
            // Part of the line end only when LF follows, which may be in the
            // next block.
            cr_held_ = true;
            cr_offset_ = offset;
        } else if (c == '\n') {
            result_.line_ends_added = true;
            end_line();
        } else {
            take(c, offset);
        }
    }

    void take(unsigned char c, std::uint64_t offset) {
        const bool first = !line_open_;
        line_open_ = true;
        if (strip_empty_ && blank_so_far_) {
            // The whole line so far is held: it may still prove blank.
            if (is_blank_byte(c)) return hold(offset);
            blank_so_far_ = false;
        } else if (is_cut_space(c) && !first) {
            return hold(offset);
        }
        write_pending();
        put(c);
    }

    void end_line() {
        if (keep_verbatim_ && elements_.in_verbatim()) {
            // A line that ends inside a verbatim element keeps its blanks,
            // and an empty one stays: they are part of what it shows.
            write_pending();
            put('\r');
            put('\n');
            line_open_ = false;
            blank_so_far_ = true;
            return;
        }
        if (strip_empty_ && blank_so_far_) {
            result_.stripped = true;
        } else {
            if (pending_length_ > 0) result_.stripped = true;
            put('\r');
            put('\n');
        }
        pending_length_ = 0;
        line_open_ = false;
        blank_so_far_ = true;
    }

    // Held bytes are always one unbroken range of the source.
    void hold(std::uint64_t offset) {
        if (pending_length_ == 0) pending_start_ = offset;
        ++pending_length_;
    }

    // The held bytes proved not to be trailing: write them, reading back from
    // the source the part that lies before the current block.
    void write_pending() {
        std::uint64_t at = pending_start_;
        const std::uint64_t end = pending_start_ + pending_length_;
        pending_length_ = 0;
        while (at < end && at < in_start_) {
            if (reread_.empty()) reread_.resize(block_);
            std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(std::min(end, in_start_) - at, block_));
            long got = source_.read_at(at, reread_.data(), want);
            if (got <= 0) {
                fail(LineStreamStatus::kReadFailed);
                return;
            }
            put_bytes(reread_.data(), static_cast<std::size_t>(got));
            at += static_cast<std::uint64_t>(got);
        }
        if (at < end) put_bytes(in_.data() + (at - in_start_), static_cast<std::size_t>(end - at));
    }

    void put(unsigned char c) {
        if (out_used_ >= out_block_) flush_full_block();
        out_[out_used_++] = c;
    }

    void put_bytes(const unsigned char* data, std::size_t n) {
        while (n > 0 && result_.status == LineStreamStatus::kOk) {
            if (out_used_ >= out_block_) flush_full_block();
            std::size_t take = std::min(n, out_block_ - std::min(out_used_, out_block_));
            if (take == 0) continue;
            std::copy(data, data + take, out_.data() + out_used_);
            out_used_ += take;
            data += take;
            n -= take;
        }
    }

    // Writes the first out_block_ bytes of the output and moves what lies
    // after them to the front: the sink is written a whole block at a time,
    // at offsets that are multiples of the block, however far the masks ran
    // past a block's end.
    void flush_full_block() {
        if (result_.status != LineStreamStatus::kOk) return;
        if (!sink_.write_at(out_offset_, out_.data(), out_block_)) {
            fail(LineStreamStatus::kWriteFailed);
            return;
        }
        out_offset_ += out_block_;
        out_used_ -= out_block_;
        std::memmove(out_.data(), out_.data() + out_block_, out_used_);
    }

    void flush_output() {
        if (out_used_ == 0 || result_.status != LineStreamStatus::kOk) return;
        if (!sink_.write_at(out_offset_, out_.data(), out_used_)) {
            fail(LineStreamStatus::kWriteFailed);
            return;
        }
        out_offset_ += out_used_;
        out_used_ = 0;
    }

    LineStreamResult fail(LineStreamStatus status) {
        if (result_.status == LineStreamStatus::kOk) result_.status = status;
        // Nothing more is written once a step failed.
        out_used_ = 0;
        result_.out_length = out_offset_;
        return result_;
    }

    ByteSource& source_;
    ByteSink& sink_;
    const bool strip_empty_;
    // Verbatim elements keep their lines as they are; elements_ follows
    // where they lie.
    const bool keep_verbatim_;
    ElementScan elements_;
    const std::size_t block_;

    ByteBlock in_;
    std::uint64_t in_start_ = 0;        // source offset of in_[0]
    std::uint64_t next_ = 0;            // source offset of the next block
    bool finished_ = false;
    bool flush_each_block_ = false;
    ByteBlock reread_; // only for held bytes of earlier blocks

    // The output: written out_block_ bytes at a time, with room after them
    // for what one block of masks writes.
    const std::size_t out_block_;
    ByteBlock out_;
    std::size_t out_used_ = 0;
    std::uint64_t out_offset_ = 0;      // bytes already handed to the sink

    bool line_open_ = false;            // a byte of the current line was seen
    bool blank_so_far_ = true;
    std::uint64_t pending_start_ = 0;   // held bytes: not written, maybe trailing
    std::uint64_t pending_length_ = 0;
    bool cr_held_ = false;              // the last byte was a CR
    bool crlf_seen_ = false;
    std::uint64_t cr_offset_ = 0;

    LineStreamResult result_;
};

// The stripped bytes not yet dropped from the history: the line core's sink.
class History : public ByteSink {
public:
    explicit History(std::size_t keep) : keep_(keep) {}

    // The line core writes each byte once, in order.
    bool write_at(std::uint64_t offset, const unsigned char* data, std::size_t n) override {
        if (offset != end()) return false;
        bytes_.insert(bytes_.end(), data, data + n);
        return true;
    }
    bool truncate(std::uint64_t) override { return false; }

    std::uint64_t start() const { return start_; }
    std::uint64_t end() const { return start_ + bytes_.size(); }

    // Copies what it holds of [offset, offset + n) (offset at least start()).
    std::size_t copy(std::uint64_t offset, unsigned char* buf, std::size_t n) {
        const std::size_t from = static_cast<std::size_t>(offset - start_);
        const std::size_t count = std::min(n, bytes_.size() - from);
        std::copy(bytes_.begin() + static_cast<std::ptrdiff_t>(from),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(from + count), buf);
        return count;
    }

    // Drops what lies more than keep bytes before reached, once that is at
    // least keep bytes, so the bytes moved to the front cost no more than
    // the bytes dropped.
    void forget_before(std::uint64_t reached) {
        if (reached < start_ + 2 * keep_) return;
        const std::size_t drop = static_cast<std::size_t>(reached - keep_ - start_);
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(drop));
        start_ += drop;
    }

private:
    std::size_t keep_;
    std::uint64_t start_ = 0;  // offset of bytes_[0] in the stripped page
    std::vector<unsigned char> bytes_;
};

}  // namespace

struct StrippedLines::Core {
    Core(ByteSource& page, bool strip_empty_lines, std::size_t block_size, std::size_t history, bool keep_verbatim)
        : kept(history), stripper(page, kept, strip_empty_lines, block_size, keep_verbatim) {
        stripper.flush_each_block();
    }
    History kept;
    LineStripper stripper;
    bool more = true;
    bool out_of_reach = false;
};

StrippedLines::StrippedLines(ByteSource& page, bool strip_empty_lines, std::size_t block_size, std::size_t history,
                             bool keep_verbatim)
    : core_(std::make_unique<Core>(page, strip_empty_lines, block_size, history, keep_verbatim)) {}

StrippedLines::~StrippedLines() = default;

long StrippedLines::read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) {
    Core& c = *core_;
    while (offset >= c.kept.end() && c.more) c.more = c.stripper.pump();
    if (offset < c.kept.start()) {
        c.out_of_reach = true;
        return -1;
    }
    if (offset >= c.kept.end()) return c.stripper.result().status == LineStreamStatus::kOk ? 0 : -1;
    const std::size_t got = c.kept.copy(offset, buf, n);
    c.kept.forget_before(offset + got);
    return static_cast<long>(got);
}

void StrippedLines::read_ahead() {
    Core& c = *core_;
    if (c.more && c.stripper.read_length() == 0) c.more = c.stripper.pump();
}

const LineStreamResult& StrippedLines::so_far() const { return core_->stripper.result(); }

bool StrippedLines::settled() const { return core_->stripper.finished(); }

bool StrippedLines::crlf_seen() const { return core_->stripper.crlf_seen(); }

LineStreamResult StrippedLines::finish() {
    Core& c = *core_;
    while (c.more) {
        c.more = c.stripper.pump();
        c.kept.forget_before(c.kept.end());
    }
    return c.stripper.result();
}

std::uint64_t StrippedLines::page_length() const { return core_->stripper.read_length(); }

bool StrippedLines::out_of_reach() const { return core_->out_of_reach; }

LineStreamResult find_first_strip(ByteSource& page, bool strip_empty_lines, std::size_t block_size,
                                  bool keep_verbatim) {
    DiscardingSink nowhere;
    LineStripper stripper(page, nowhere, strip_empty_lines, block_size, keep_verbatim);
    while (stripper.pump() && !stripper.result().stripped) {
    }
    return stripper.result();
}

LineStreamResult strip_lines_stream(ByteSource& source, ByteSink& sink, bool strip_empty_lines,
                                    std::size_t block_size, bool keep_verbatim) {
    return LineStripper(source, sink, strip_empty_lines, block_size, keep_verbatim).run();
}

}  // namespace zorbel
