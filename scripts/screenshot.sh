#!/usr/bin/env bash
# Takes a screenshot of the real window under Xvfb: a lab of network namespaces with three
# simulated nodes, the program on the tool's host at 10.1.2.3, after a level change; then its
# DMX monitor beside two consoles that send one universe.
# Needs root (for the namespaces). Usage: screenshot.sh [OUT [MONITOR_OUT]]; without arguments
# it writes docs/screenshot.png and docs/monitor.png, with OUT alone OUT and OUT-monitor.png.
# With --channel-check first, the Channel Check window instead, opened from the window menu and
# stepped from channel 37 of 37 to 48 on to 40; docs/channel-check.png unless told otherwise.
# With --network first, the Network window instead, in a lab of two networks with a node on the
# second, whose adapter is the kept choice; docs/network.png unless told otherwise.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
praveltest_private_settings
root=$(praveltest_root)
cd "$root"
what=main
case "${1:-}" in --channel-check | --network) what=${1#--} && shift ;; esac
out=${1:-docs/$([ "$what" = main ] && echo screenshot || echo "$what").png}
# The DMX monitor beside it; with OUT given, next to it.
monitor_out=${2:-docs/monitor.png}
[ $# -eq 0 ] || monitor_out=${2:-${out%.png}-monitor.png}
[ "$(id -u)" -eq 0 ] || { echo "screenshot.sh needs root for its namespace lab" >&2; exit 1; }
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}" iproute2 xvfb xdotool imagemagick
praveltest_build default >/dev/null

lab=build/default/testing/praveltest-lab name="ptshot$$"
work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    "$lab" down "$name"
    rm -rf "$work"
}
trap cleanup EXIT

# The program keeps its settings here, not in root's own.
mkdir -p "$work/config/PraveltTest"
picture_lab_up "$what"
[ "$what" != network ] || printf '[Network]\nInterface=eth1\n' >"$work/config/PraveltTest/PraveltTest.conf"
start_xvfb
"$lab" exec "$name-tool" -- env QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
    build/default/app/praveltest >/dev/null 2>&1 &
pids+=($!)
window=$(wait_for_window PraveltTest)
for host in "${polled[@]}"; do wait_for_lines "$work/$host" 1 "^poll from=$from:3333"; done
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
