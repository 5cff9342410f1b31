#!/usr/bin/env bash
# Builds the benchmark in the release preset when needed, then prints the median of five runs
# of each case; --quick runs each case once. Other arguments go to the benchmark, e.g.
# --benchmark_filter=Send. Exits non-zero when a case fails.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

build="$(praveltest_root)/build/release"
cd "$(praveltest_root)"
repetitions=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
if [ "${1:-}" = --quick ]; then
    shift
    repetitions=(--benchmark_repetitions=1 --benchmark_min_time=0.05)
fi

if ! praveltest_build release praveltest_bench >/dev/null; then
    echo "praveltest_bench did not build; rerun: cmake --build $build --target praveltest_bench" >&2
    exit 1
fi

output=$("$build/bench/praveltest_bench" "${repetitions[@]}" "$@")
awk '/^Benchmark|^-+$/ || /_median/ || !/_(mean|stddev|cv) / && /^BM_/' <<<"$output"
if grep -q 'ERROR OCCURRED' <<<"$output"; then
    echo "a benchmark case failed" >&2
    exit 1
fi
