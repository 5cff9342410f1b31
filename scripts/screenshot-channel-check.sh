#!/usr/bin/env bash
# Takes a screenshot of the Channel Check window under Xvfb: the real program on the tool's host
# of a namespace lab, a simulated node beside it, a check of channels 37 to 48 stepped on to 40.
# Needs root (for the namespaces). Writes docs/channel-check.png unless given another path.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
out=${1:-docs/channel-check.png}
[ "$(id -u)" -eq 0 ] || { echo "screenshot-channel-check.sh needs root for its namespace lab" >&2; exit 1; }
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}" iproute2 xvfb xdotool imagemagick
praveltest_build default >/dev/null

lab=build/default/testing/praveltest-lab name="ptcheck$$"
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

"$lab" up "$name" --host 10.1.2.21 >/dev/null
"$lab" exec "$name-h1" -- build/default/tools/praveltest-node --name ShotBar >"$work/h1" &
pids+=($!)
wait_for_lines "$work/h1" 1 '^ready '

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for_lines "$work/display" 1 '^[0-9]'
export DISPLAY=":$(cat "$work/display")"
"$lab" exec "$name-tool" -- env QT_QPA_PLATFORM=xcb build/default/app/praveltest >/dev/null 2>&1 &
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
main=$(find_window PraveltTest)
wait_for_lines "$work/h1" 1 '^poll from=10.1.2.3:3333'
xdotool windowfocus --sync "$main"
# The window menu, then its last item.
xdotool key --window "$main" alt+space
sleep 0.5
xdotool key Up Return
check=$(find_window 'Channel Check')
xdotool windowfocus --sync "$check"
# Universe, start code, then the first and last channel; Start, then Next three times.
xdotool key --window "$check" Tab Tab ctrl+a 3 7 Tab ctrl+a 4 8 Tab
xdotool key --window "$check" alt+s
wait_for_lines "$work/h1" 1 '^dmx from=10.1.2.3:3333 .* channels=48 levels=0-255'
# A mnemonic holds its button down for a moment, and a second press meanwhile would be lost.
for _ in 1 2 3; do
    xdotool key --window "$check" alt+n
    sleep 0.4
done
mkdir -p "$(dirname "$out")"
capture_when_still "$check" "$out"
echo "wrote $out"
