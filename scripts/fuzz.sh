#!/usr/bin/env bash
# A longer fuzzing run: each fuzzer runs SECONDS from the corpus in the tree, then the
# corpus is replaced by the smallest set of inputs that keeps all coverage found.
# Usage: fuzz.sh FUZZ-BUILD-DIR SECONDS
set -euo pipefail
build=$(cd "${1:?usage: fuzz.sh FUZZ-BUILD-DIR SECONDS}" && pwd)
seconds=${2:?usage: fuzz.sh FUZZ-BUILD-DIR SECONDS}
corpus=$(cd "$(dirname "$0")/../tests/fuzz/corpus" && pwd)
export ASAN_OPTIONS=detect_leaks=0
for target in paths install; do
    fuzzer=$build/tests/fuzz/fuzz_$target
    work=$build/fuzz-work/$target
    mkdir -p "$work"
    echo "== fuzz_$target for $seconds s"
    "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 "$work" "$corpus/$target" 2>&1 |
        grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)|ERROR|SUMMARY'
    minimal=$build/fuzz-work/$target.minimal
    rm -rf "$minimal"
    mkdir -p "$minimal"
    "$fuzzer" -set_cover_merge=1 "$minimal" "$corpus/$target" "$work" >/dev/null 2>&1
    rm -rf "${corpus:?}/$target"
    mv "$minimal" "$corpus/$target"
    echo "   corpus: $(ls "$corpus/$target" | wc -l) inputs, $(du -sk "$corpus/$target" | cut -f1) KiB"
done
