#!/usr/bin/env bash
# The soak: the real main window for SOAK_MINUTES (default 10) beside 50 simulated nodes on
# another host of a lab bridge, Poll Again pressed every 2 s and the level moved 100 times a
# second by key presses on the slider. Passes when resident memory grows by less than 1 MiB
# after the first minute, the nodes received every datagram the program sent, every node is
# listed, and no message box opened; exits non-zero otherwise.
#
# Needs root: it builds its own lab of network namespaces (deleted on exit, Ctrl+C included),
# so nothing is ever sent to a real network. The window runs in-process on Qt's offscreen
# platform, driven by the same harness as bench/perf.sh.
#
#   sudo scripts/soak.sh                  # 10 minutes
#   sudo SOAK_MINUTES=2 scripts/soak.sh   # a quick check (2 is the least)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=${SOAK_MINUTES:-10}
nodes=${SOAK_NODES:-50}
build="$root/build/default"

if [ "$(id -u)" -ne 0 ]; then
    echo "scripts/soak.sh needs root: it builds a lab of network namespaces so that the" >&2
    echo "program's broadcasts never reach a real network. Run it again with sudo." >&2
    exit 1
fi
for tool in ip unshare cmake; do
    command -v "$tool" >/dev/null || { echo "scripts/soak.sh: $tool is missing" >&2; exit 1; }
done

echo "== building in $build" >&2
[ -f "$build/CMakeCache.txt" ] || cmake --preset default -S "$root" >/dev/null
cmake --build "$build" -j "$(nproc)" --target praveltest_perf praveltest-node >/dev/null
harness="$build/bench/praveltest_perf"
node="$build/tools/praveltest-node"

source "$root/bench/lab.sh"
lab_make "ptsoak$$"
echo "== soak: $minutes min, $nodes nodes, load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
status=0
lab_in_tool "$harness" soak --node "$node" --node-ns "$nodens" --minutes "$minutes" \
    --count "$nodes" || status=$?
echo "== done, load $(cut -d' ' -f1-3 /proc/loadavg), exit $status" >&2
exit "$status"
