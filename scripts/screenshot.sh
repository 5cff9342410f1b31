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

node=build/default/tools/praveltest-node
start_node() {  # host arguments...
    local host=$1
    shift
    "$lab" exec "$name-$host" -- "$node" "$@" >"$work/$host" &
    pids+=($!)
    wait_for_lines "$work/$host" 1 '^ready '
}
# The program keeps its settings here, not in root's own.
mkdir -p "$work/config/PraveltTest"
if [ "$what" = network ]; then
    "$lab" up "$name" --second-host 10.7.0.21 >/dev/null
    start_node h1 --name StageDim --mac 00:1a:2b:3c:4d:07 --universe 0
    printf '[Network]\nInterface=eth1\n' >"$work/config/PraveltTest/PraveltTest.conf"
    polled=(h1) from=10.7.0.3
else
    "$lab" up "$name" --host 10.1.2.21 --host 10.1.2.22 --host 10.1.2.23 \
        --host 10.1.2.40 --host 10.1.2.41 >/dev/null
    start_node h1 --name ShotDimmer --mac 00:1a:2b:3c:4d:01 --universe 0
    start_node h2 --name ShotMover --mac 00:1a:2b:3c:4d:02 --options 3 --universe 1
    start_node h3 --name ShotPar --mac 00:1a:2b:3c:4d:03 --options 7 --listen-to 1
    polled=(h1 h2 h3) from=10.1.2.3
fi

# Xvfb picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for_lines "$work/display" 1 '^[0-9]'
export DISPLAY=":$(cat "$work/display")"
"$lab" exec "$name-tool" -- env QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
    build/default/app/praveltest >/dev/null 2>&1 &
pids+=($!)
find_window() {  # title
    local found=
    for _ in $(seq 100); do
        found=$(xdotool search --name "^$1\$" 2>/dev/null | head -1 || true)
        [ -n "$found" ] && break
        sleep 0.1
    done
    [ -n "$found" ] || { echo "the window '$1' did not appear" >&2; exit 1; }
    echo "$found"
}
window=$(find_window PraveltTest)
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
