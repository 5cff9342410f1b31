#!/usr/bin/env bash
# Takes a screenshot of the real praveltest.exe under Wine on Xvfb, as scripts/screenshot.sh
# takes the Linux one: a lab of network namespaces with three simulated nodes, the exe and
# its wineserver on the tool's host at 10.1.2.3, after a level change; then its DMX monitor
# beside two consoles that send one universe.
# Needs root (for the namespaces). Builds the windows-cross preset against Qt for Windows
# (scripts/build-qt-windows.sh, once). Usage: screenshot-windows.sh [OUT [MONITOR_OUT]];
# without arguments it writes docs/screenshot-windows.png and docs/monitor-windows.png, with
# OUT alone OUT and OUT-monitor.png. With --channel-check first, the Channel Check window
# instead, as scripts/screenshot.sh takes it; docs/channel-check-windows.png unless told otherwise.
# With --network first, the Network window, as scripts/screenshot.sh takes it, the kept choice
# in the prefix's registry; docs/network-windows.png unless told otherwise.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"
root=$(praveltest_root)
cd "$root"
what=main
case "${1:-}" in --channel-check | --network) what=${1#--} && shift ;; esac
out=${1:-docs/$([ "$what" = main ] && echo screenshot || echo "$what")-windows.png}
# The DMX monitor beside it; with OUT given, next to it.
monitor_out=${2:-docs/monitor-windows.png}
[ $# -eq 0 ] || monitor_out=${2:-${out%.png}-monitor.png}
[ "$(id -u)" -eq 0 ] || { echo "screenshot-windows.sh needs root for its namespace lab" >&2; exit 1; }
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}" "${PRAVELTEST_WINE_PACKAGES[@]}" \
    "${PRAVELTEST_WINE_SCREENSHOT_PACKAGES[@]}"

PRAVELTEST_QT_WINDOWS=$(scripts/build-qt-windows.sh | tail -n 1)
export PRAVELTEST_QT_WINDOWS
[ -f build/windows-cross/CMakeCache.txt ] || cmake --preset windows-cross >/dev/null
cmake --build --preset windows-cross -j "$(nproc)" --target praveltest praveltest_windows_runtime \
    >/dev/null
[ -f build/default/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target praveltest-lab praveltest-node \
    praveltest-cli >/dev/null

# A prefix of its own, so that a check running meanwhile keeps its wineserver.
praveltest_wine_env build/windows-cross/wine-screenshot
lab=build/default/testing/praveltest-lab name="ptwshot$$"
work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    "$lab" exec "$name-tool" -- bash -c 'source scripts/wine.sh && praveltest_wine_stop' || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    "$lab" down "$name"
    rm -rf "$work"
}
trap cleanup EXIT

picture_lab_up "$what"
# The kept choice, where the program keeps it; any other mode starts from none.
key='HKCU\Software\PraveltTest\PraveltTest\Network'
if [ "$what" = network ]; then
    keep="praveltest_wine reg add '$key' /v Interface /d eth1 /f"
else
    keep="{ praveltest_wine reg delete '$key' /f || true; }"
fi
start_xvfb
# The prefix is made, the first time, in the tool's namespace too: wineboot starts a server.
"$lab" exec "$name-tool" -- bash -c "source scripts/wine.sh && praveltest_wine_prefix && $keep &&
    praveltest_wine build/windows-cross/bin/praveltest.exe" >"$work/wine.log" 2>&1 &
pids+=($!)
# A first run makes the prefix.
window=$(wait_for_window PraveltTest 180) || { cat "$work/wine.log" >&2; exit 1; }
for host in "${polled[@]}"; do wait_for_lines "$work/$host" 1 "^poll from=$from:3333" 30; done
capture_when_still "$window" "$work/listed.png"

xdotool windowfocus --sync "$window"
if [ "$what" != main ]; then
    case $what in
    channel-check) capture_channel_check "$window" "$work" "$out" ;;
    network) capture_network "$window" "$out" ;;
    esac
    echo "wrote $out"
    exit 0
fi
# From the tree: Tab to Poll Again, Tab to the slider; then full level and three pages down,
# each key a message on its press and one on its release.
xdotool key --window "$window" Tab Tab Home Page_Down Page_Down Page_Down
wait_for_lines "$work/h1" 8 '^dmx from=10.1.2.3:3333'
mkdir -p "$(dirname "$out")"
capture_when_still "$window" "$out"
echo "wrote $out"
capture_monitor "$lab" "$name" "$window" "$work" "$monitor_out"
echo "wrote $monitor_out"
