#include "rewrite/echo_stream.h"

namespace zorbel {

RewriteState::RewriteState(const Options& o, CarriedState carried, const Clock& c, ByteSource& input, ByteSink& work,
                           std::size_t block_size, bool prefixes, std::size_t look_back)
    : options(o),
      clock(c),
      input_window(input, block_size, look_back),
      work_window(work, block_size, look_back),
      debug_prefixes(prefixes),
      after_newline(carried.after_newline),
      crlf_collapse_active(carried.crlf_collapse_active) {}

void unwrite(RewriteState& s, std::size_t n) {
    s.work_window.move_back(n);
    if (s.out_column >= 0 && static_cast<std::uint64_t>(s.out_column) >= n) s.out_column -= static_cast<std::int64_t>(n);
}

void unread(RewriteState& s, std::size_t n) { s.input_window.unget(n); }

void step_back(RewriteState& s, std::size_t n) {
    unwrite(s, n);
    unread(s, n);
}

void emit(RewriteState& s, std::string_view text) {
    s.work_window.write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    s.out_column += static_cast<std::int64_t>(text.size());
}

void emit_newline(RewriteState& s) {
    s.work_window.put('\r');
    s.work_window.put('\n');
    s.out_column = 0;
    emit_debug_prefix(s);
}

void unwrite_text(RewriteState& s, std::string_view text) { unwrite(s, text.size()); }

void emit_debug_prefix(RewriteState& s) {
    if (!s.debug_prefixes) return;
    const unsigned char prefix[] = {'q', ':', static_cast<unsigned char>(s.in_quote ? '1' : '0'), ':', ' '};
    s.work_window.write(prefix, sizeof prefix);
}

}  // namespace zorbel
