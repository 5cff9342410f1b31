#!/usr/bin/env bash
# Measures every performance figure of the program in one run and prints a table: start-up,
# idle cost and wake-ups, memory, slider latency and drag rate, discovery, a DMX flood and
# size, each beside the floor (a bare Qt dialog with the same controls) where one applies.
# Then a second table at a stock receive-queue limit: a show's console of 256 universes at
# 44 Hz beside the real program and beside the window, and repeated polls.
# Exits non-zero when a figure misses its goal or counts a lost or wrong sample.
#
# Needs root: the real program broadcasts to its subnet, so it runs only in a lab of network
# namespaces made here (and removed on exit). For the second table it sets the machine-wide
# /proc/sys/net/core/rmem_max to 212992, a stock Debian or Ubuntu value that grants the
# program's 4 MiB request 425,984 bytes, and puts the old value back when that table is
# done or the script exits, Ctrl+C included. Extra arguments go to the harness.
#
#   sudo bench/perf.sh            # everything, about 5 minutes; the tables are kept in build/release/
#   sudo bench/perf.sh --quick    # short idle, few entries, short console: about a minute
set -euo pipefail
if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
    sed -n '2,/^$/s/^# \{0,1\}//p' "$0"
    exit 0
fi
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
praveltest_private_settings

build="$(praveltest_root)/build/release"
results="$build/perf-results.md"
options=()
if [ "${1:-}" = --quick ]; then
    shift
    options=(--runs 3 --idle-seconds 20 --entries 50 --samples 200 --drag-ms 500 --counts 10
        --flood-seconds 3 --show-seconds 3 --chase-seconds 3)
fi
praveltest_require_root \
    "bench/perf.sh needs root: it builds a lab of network namespaces so that the program's" \
    "broadcasts never reach a real network. Run it again with sudo. Nothing was done."

echo "== building the release preset in $build" >&2
# Configured every time: a build folder made before a target existed has no rule for it.
praveltest_configure release
praveltest_build release praveltest praveltest-node praveltest-cli floor_dialog praveltest_perf \
    praveltest-lab \
    >/dev/null

name="ptperf$$"
runtime=$(mktemp -d /tmp/praveltest-perf-runtime.XXXXXX)
praveltest_on_exit rm -rf "$runtime"
praveltest_lab_up release "$name" --host 10.1.2.20
rmem_max=/proc/sys/net/core/rmem_max
rmem_old=""
restore_rmem() {
    if [ -n "$rmem_old" ]; then
        echo "$rmem_old" >"$rmem_max"
        rmem_old=""
    fi
}
praveltest_on_exit restore_rmem
# In the tool's namespace under the lab's host name, with a runtime directory of its own as a
# desktop session would give.
harness() {
    praveltest_lab_exec tool env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
        "$build/bench/praveltest_perf" --program "$build/app/praveltest" \
        --node "$build/tools/praveltest-node" --floor "$build/bench/floor_dialog" \
        --cli "$build/tools/praveltest-cli" \
        --node-ns "$name-h1" "$@"
}
status=0
harness "${options[@]}" "$@" | tee "$results" || status=$?
# The limit is read-only inside a namespace, so it is set here, for the second table alone.
rmem_old=$(cat "$rmem_max")
echo 212992 >"$rmem_max"
echo | tee -a "$results"
harness --rows stock-queue "${options[@]}" "$@" | tee -a "$results" || status=$?
restore_rmem
exit "$status"
