#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time
# (FUZZ_SECONDS, 60 by default), starting from the corpus kept in tests/fuzz/corpus.
# Prints the number of executions of each run; any crash, leak or sanitizer report fails.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}" clang libclang-rt-dev
seconds=${FUZZ_SECONDS:-60}
targets=(poll_reply dispatch dmx_monitor device_tree)

praveltest_build_targets() {
    if [ ! -f build/fuzz/CMakeCache.txt ]; then cmake --preset fuzz >/dev/null; fi
    cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"
}
praveltest_build_targets

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in "${targets[@]}"; do
    # The run grows its own copy; the kept corpus changes only by hand.
    mkdir -p "$work/$target"
    cp tests/fuzz/corpus/"$target"/* "$work/$target/"
    log="$work/$target.log"
    if QT_QPA_PLATFORM=offscreen "build/fuzz/tests/fuzz/${target}_fuzzer" \
        -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
        "$work/$target" >"$log" 2>&1; then
        runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
        echo "fuzz $target: ${runs:-?} executions in ${seconds}s, no findings"
    else
        echo "fuzz $target: FAILED" >&2
        tail -n 60 "$log" >&2
        status=1
    fi
done
exit $status
