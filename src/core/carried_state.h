// The rewrite state that carries over from one page to the next in a run.
#pragma once

namespace zorbel {

// Two flags of the rewrite outlive the page they were set on: a page that
// ends just after a line end, or with the removal of extra line breaks
// armed, starts the next page that way. Passed in and handed back whole.
struct CarriedState {
    int after_newline = 0;         // LF read and no byte of 32 or above since
    int crlf_collapse_active = 0;  // removal of extra CR LF pairs armed
};

}  // namespace zorbel
