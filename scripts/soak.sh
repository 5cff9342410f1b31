#!/usr/bin/env bash
# The soak: the real main window for SOAK_MINUTES (default 10) beside 50 simulated nodes on
# another host of a lab bridge, Poll Again pressed every 2 s and the level moved 100 times a
# second by key presses on the slider. Passes when resident memory holds still after the first
# minute (half the run when shorter), the nodes received every datagram the program sent, the
# kernel dropped nothing on the program's socket, the replies waiting in the program never
# outnumbered the nodes, every node is listed, and no message box opened; exits non-zero
# otherwise.
#
# Needs root: it builds its own lab of network namespaces (removed on exit, Ctrl+C included),
# so nothing is ever sent to a real network. The window runs on Qt's offscreen platform.
#
#   sudo scripts/soak.sh                  # 10 minutes
#   sudo SOAK_MINUTES=1 scripts/soak.sh   # a quick check
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
praveltest_private_settings

minutes=${SOAK_MINUTES:-10}
nodes=${SOAK_NODES:-50}
build="$(praveltest_root)/build/default"

praveltest_require_root \
    "scripts/soak.sh needs root: it builds a lab of network namespaces so that the" \
    "program's broadcasts never reach a real network. Run it again with sudo."

echo "== building in $build" >&2
praveltest_build default praveltest_soak praveltest-node praveltest-lab >/dev/null

name="ptsoak$$"
runtime=$(mktemp -d /tmp/praveltest-soak-runtime.XXXXXX)
praveltest_on_exit rm -rf "$runtime"
praveltest_lab_up default "$name" --host 10.1.2.20
echo "== soak: $minutes min, $nodes nodes, load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
status=0
praveltest_lab_exec tool env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
    "$build/tests/reliability/praveltest_soak" --node "$build/tools/praveltest-node" \
    --node-ns "$name-h1" --seconds $((minutes * 60)) --count "$nodes" || status=$?
echo "== done, load $(cut -d' ' -f1-3 /proc/loadavg), exit $status" >&2
exit "$status"
