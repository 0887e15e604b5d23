#!/usr/bin/env bash
# tests/fuzz/run.sh: builds the fuzz targets with clang under ASan and UBSan in build-fuzz/, then
# runs the named targets side by side (under nice -n 19) for MINUTES each, every one from its
# seeds in tests/fuzz/corpus/TARGET/. The seeds are copied to build-fuzz/corpus/TARGET/, which
# collects what the run finds, so the repository stays as it is; crashes land in
# build-fuzz/crashes/TARGET/. Prints target, minutes and executions for each.
#
#     tests/fuzz/run.sh MINUTES TARGET...
set -euo pipefail

if (($# < 2)); then
    echo "usage: $0 MINUTES TARGET..." >&2
    exit 2
fi
minutes=$1
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$root/build-fuzz

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVALIN_FUZZ=ON -DORVALIN_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target "$@"

export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
pids=()
for target in "$@"; do
    mkdir -p "$build/corpus/$target" "$build/crashes/$target"
    if [[ -d "$root/tests/fuzz/corpus/$target" ]]; then
        cp -r "$root/tests/fuzz/corpus/$target/." "$build/corpus/$target/"
    fi
    # -max_len lets the largest seed (a message of 100,000 fields, 1.9 MB) in whole.
    # The targets make their scratch folders in the working directory: the build tree.
    (cd "$build" && exec nice -n 19 "$build/tests/fuzz/$target" \
        -max_total_time=$((minutes * 60)) -print_final_stats=1 -max_len=2000000 \
        -artifact_prefix="$build/crashes/$target/" "$build/corpus/$target" \
        >"$build/$target.log" 2>&1) &
    pids+=($!)
done

failed=0
for i in "${!pids[@]}"; do
    target=${*:i+1:1}
    status=0
    wait "${pids[$i]}" || status=$?
    executions=$(awk '/stat::number_of_executed_units/ { print $2 }' "$build/$target.log")
    echo "$target: $minutes minutes, ${executions:-unknown} executions, exit $status" \
        "(log: build-fuzz/$target.log)"
    ((status == 0)) || failed=1
done
exit $failed
