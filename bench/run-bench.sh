#!/usr/bin/env bash
# Builds the benchmark in the release preset when needed, then prints the median of five
# runs of each case. Extra arguments go to the benchmark, e.g. --benchmark_filter=Send.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/release"
cd "$root"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset release >/dev/null
fi
if ! cmake --build "$build" -j "$(nproc)" --target praveltest_bench >/dev/null; then
    echo "praveltest_bench did not build (is libbenchmark-dev installed?); rerun:" >&2
    echo "  cmake --build $build --target praveltest_bench" >&2
    exit 1
fi

"$build/bench/praveltest_bench" \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@" |
    awk '/^Benchmark|^-+$/ || /_median/'
