// zorbel-fmt's exit statuses.
#pragma once

namespace zorbel::fmt {

inline constexpr int kExitOk = 0;        // done, or nothing would change
inline constexpr int kExitChanges = 1;   // --check: some page would change
inline constexpr int kExitTrouble = 2;   // a usage error, or a page that could not be tidied

}  // namespace zorbel::fmt
