#!/usr/bin/env bash
# The layer check on small made-up trees: a clean one passes, and each kind
# of fault it is there to catch fails it.
set -euo pipefail
check="$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# One tree: src/<folder>/<file> holding the given line, beside a clean core.
tree() {
    local dir="$scratch/$1" folder=$2 file=$3 line=$4
    mkdir -p "$dir/src/core" "$dir/src/$folder" "$dir/include/zorbel"
    printf '#include "platform/files.h"\n' >"$dir/src/core/fine.cpp"
    printf '%s\n' "$line" >"$dir/src/$folder/$file"
    echo "$dir/src"
}

failures=0
expect() {
    local want=$1 name=$2 folder=$3 file=$4 line=$5 got=0
    "$check" "$(tree "$name" "$folder" "$file" "$line")" >/dev/null || got=$?
    if [[ $got -ne $want ]]; then
        echo "$name: status $got, expected $want ($folder/$file: $line)"
        failures=1
    fi
}

expect 0 clean          api      tidy.cpp   '#include "rewrite/rewrite_pass.h"'
expect 0 shell-prints   cli      batch.cpp  'std::fwrite(text.data(), 1, n, stdout); throw FatalExit{1};'
expect 1 upward         core     a.cpp      '#include "cli/batch.h"'
expect 1 console-moved  rewrite  a.cpp      '#include "rewrite/console.h"'
expect 1 report-header  pipeline a.cpp      '#include "core/report.h"'
expect 1 fatal-exit     workfiles a.cpp     'throw FatalExit{3};'
expect 1 exit-call      cleanup  a.cpp      '    std::exit(3);'
expect 1 abort-call     platform a.cpp      'abort();'
expect 1 prints         api      a.cpp      'std::cerr << "oops";'
expect 1 stdout         core     a.cpp      'std::fputs("x", stdout);'
expect 1 public-header  ../include/zorbel x.h '#include <iostream>'
expect 1 intrinsic      rewrite  a.cpp      '    const __m128i x = _mm_loadu_si128(p);'
expect 1 intrin-header  cleanup  a.cpp      '#include <immintrin.h>'
expect 0 simd-file      platform/simd sse2.h '#include <emmintrin.h>'
exit "$failures"
