// The echo stream of the rewrite pass and the state the pass, the tokenizer
// and the stream share while one file is rewritten.
//
// Every byte read from the input is copied to the work file at once, so the
// work file always holds the text read so far. Edits are made after the fact:
// the write position moves back over what is to be replaced and the
// replacement is written over it. A tag that must be looked at again is
// re-read by moving the input and the work file back by the same count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "core/carried_state.h"
#include "core/options.h"
#include "core/settings.h"
#include "core/attr_values.h"
#include "core/element_scan.h"
#include "rewrite/stream_buffers.h"

namespace zorbel {

// A tag capture stores '<' and at most 201 more bytes; an entity capture '&'
// and at most 7 more. One byte more keeps the text terminated.
//
// 201: every tag the tokenizer tells apart (the marker comments, the
// editor's placeholder tags, paragraph, anchor, script and style tags) fits
// with the attributes editors give it, and the capture stays a small fixed
// buffer however long a tag runs. The bound is part of the output: a tag
// whose '>' lies further is a generic tag (a long anchor is no anchor), so
// it cannot change without changing what the tool writes.
// 7: the entities the rewrite acts on ("&#147;", "&#148;", "&quot;",
// "&nbsp;") have five bytes after the '&', and seven keep them whole with
// room to spare, while a run of '&' or of letters is never captured far.
inline constexpr std::size_t kTagBound = 201;
inline constexpr std::size_t kEntityBound = 7;
inline constexpr std::size_t kTokenCapacity = 1 + kTagBound + 1;

struct RewriteState {
    // The carried flags start from carried; the pass hands them back at its
    // end. Reads and writes go in blocks of block_size bytes. With
    // debug_prefixes on, every output line after the first starts with the
    // quote state ("q:0: " or "q:1: ").
    RewriteState(const Options& options, CarriedState carried, const Clock& clock, ByteSource& input, ByteSink& work,
                 std::size_t block_size, bool debug_prefixes, std::size_t look_back = kDefaultLookBack);

    const Options& options;
    const Clock& clock;
    // The windows the pass reads the input and writes the work file through.
    InputWindow input_window;
    WorkWindow work_window;
    bool debug_prefixes;
    // Runs of ordinary bytes and the body of a tag capture are taken in one
    // step; off, every byte goes through one at a time. The result is the
    // same either way: tests compare the two.
    bool bulk = true;

    // Text of the last tag or entity token; bytes, NUL included, so the length
    // is kept apart from the terminator.
    unsigned char token_text[kTokenCapacity] = {};
    std::size_t token_length = 0;
    // Bytes really written to the work file for the last captured tag, from
    // its '<' to its '>' (a folded CR LF counts two, a removed one nothing).
    std::size_t token_echoed = 0;

    std::int64_t out_column = 0; // characters on the current output line (64 bits: a line may exceed 2 GiB)
    int line_has_text = 0;       // a byte other than blank or tab read on this input line
    int after_newline = 0;       // LF read and no byte of 32 or above since (carried)
    int crlf_collapse_active = 0;  // removal of extra CR LF pairs armed (carried)
    int in_quote = 0;            // an opening quote is written and its closing one not yet
    int file_changed = 0;
    int no_wrap = 0;             // no-wrap marker seen; until the next paragraph tag
    int uncurly = 0;             // quote rewriting off until the CURLY marker
    int in_raw = 0;              // inside a script or style element
    int pending_tag_end = 0;     // a '>' was returned; answered again until cleared
    // The input ended inside a DATETIME stamp's old text: the pass stops
    // there with what was written so far flushed to the work file.
    int stamp_unended = 0;

    // While a tag handed back is read again token by token: whether the
    // next byte stands inside a quoted attribute value. Fed every byte that
    // reading takes, entities' bytes included; none() at any other time.
    AttrValueScan tag_values = AttrValueScan::none();

    // Input offsets [from, to) known to hold none of some bytes, while the
    // input window has not started over: a capture that overruns the bound
    // on a run of '<' need not look for them again at every '<'.
    struct ClearRange {
        std::uint64_t from = 0, to = 0, restarts = 0;
    };
    ClearRange no_tag_end;  // no control byte or '>'

    // With keep_verbatim: where the verbatim and code elements lie, fed the
    // input up to elements_fed, and what it said there. Inside a verbatim
    // element nothing is removed, wrapped or rewritten; inside a code
    // element quotes, apostrophes and &nbsp; stay as written.
    ElementScan elements;
    std::uint64_t elements_fed = 0;
    int verbatim = 0;
    int code = 0;

    // How many CR (LF) removals read_echo has made: a tag capture uses it to
    // know which of the bytes it read stand in the work file as read.
    std::uint64_t crlf_removals = 0;

    CarriedState carried() const { return {after_newline, crlf_collapse_active}; }

    std::string_view token() const {
        return {reinterpret_cast<const char*>(token_text), token_length};
    }
};

// Any byte of 32 or above ends the state of just having read a line end;
// control bytes (CR among them) leave it.
constexpr bool clears_after_newline(int c) { return c >= 32; }

// A CR read just after a line end is removed, with the LF after it, while
// the removal of extra line breaks is armed, outside verbatim elements.
constexpr bool removes_cr(int after_newline, int crlf_collapse_active, int verbatim) {
    return after_newline && crlf_collapse_active && !verbatim;
}

// Reads the next input byte and copies it to the work file: 0..255, or -1 at
// the end of the input (nothing written, the column still counts one). While
// CR LF removal is armed, a CR that follows a line end with nothing but
// control bytes between is removed with the LF after it.
inline int read_echo(RewriteState& s) {
    for (;;) {
        int c = s.input_window.get();
        if (c == '\n') s.after_newline = 1;
        if (c == '\r' && removes_cr(s.after_newline, s.crlf_collapse_active, s.verbatim)) {
            s.file_changed = 1;
            ++s.crlf_removals;
            // Only an LF goes with the CR; any other byte is read next.
            int next = s.input_window.get();
            if (next != '\n' && next != -1) s.input_window.unget(1);
            continue;
        }
        if (clears_after_newline(c)) s.after_newline = 0;
        if (c != -1) s.work_window.put(static_cast<unsigned char>(c));
        ++s.out_column;
        if (c == '\n') s.out_column = 0;
        return c;
    }
}

// Moves the work file's write position back by n; the column goes down by n
// only when it is at least n (otherwise the text spans a line end).
void unwrite(RewriteState& s, std::size_t n);

// Moves the input's read position back by n.
void unread(RewriteState& s, std::size_t n);

// Moves the work file and the input back together, to read n bytes again.
void step_back(RewriteState& s, std::size_t n);

// Writes text at the write position and counts it in the column.
void emit(RewriteState& s, std::string_view text);

// Writes CR LF, starts a new output line, then the debug prefix.
void emit_newline(RewriteState& s);

// unwrite by the length of the text.
void unwrite_text(RewriteState& s, std::string_view text);

// With debug prefixes on, writes "q:N: " (N the quote state) without
// counting it in the column.
void emit_debug_prefix(RewriteState& s);

// The token loop's output for the actions of rules.h: the work window,
// through the echo stream. A new line gets its debug prefix.
struct StreamOut {
    RewriteState& s;
    void emit(std::string_view text) { zorbel::emit(s, text); }
    void unwrite(std::size_t n) { zorbel::unwrite(s, n); }
    void unwrite_text(std::string_view text) { zorbel::unwrite_text(s, text); }
    void newline() { emit_newline(s); }
    void mark_changed() { s.file_changed = 1; }
};

}  // namespace zorbel
