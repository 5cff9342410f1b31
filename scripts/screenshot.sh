#!/usr/bin/env bash
# Takes a screenshot of the real window under Xvfb: a lab of network namespaces with three
# simulated nodes, the program on the tool's host at 10.1.2.3, after a level change.
# Needs root (for the namespaces). Writes docs/screenshot.png unless given another path.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
out=${1:-docs/screenshot.png}
[ "$(id -u)" -eq 0 ] || { echo "screenshot.sh needs root for its namespace lab" >&2; exit 1; }
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}" iproute2 xvfb xdotool imagemagick
praveltest_build default >/dev/null

lab="ptshot$$"
display=":$((90 + $$ % 9))"
cleanup() {
    [ -n "${program:-}" ] && kill "$program" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    pkill -f "praveltest-node --name Shot" 2>/dev/null || true
    for ns in sw tool h1 h2 h3; do ip netns del "$lab-$ns" 2>/dev/null || true; done
    rm -rf "/etc/netns/$lab-tool"
}
trap cleanup EXIT

ip netns add "$lab-sw"
ip -n "$lab-sw" link add br0 type bridge
ip -n "$lab-sw" link set br0 up
host() {  # name address
    ip netns add "$lab-$1"
    ip -n "$lab-sw" link add "p-$1" type veth peer name eth0 netns "$lab-$1"
    ip -n "$lab-sw" link set "p-$1" master br0 up
    ip -n "$lab-$1" addr add "$2/24" dev eth0
    ip -n "$lab-$1" link set eth0 up
    ip -n "$lab-$1" link set lo up
}
host tool 10.1.2.3
mkdir -p "/etc/netns/$lab-tool"
printf '127.0.0.1 localhost\n10.1.2.3 praveltest-lab\n' >"/etc/netns/$lab-tool/hosts"
node=build/default/tools/praveltest-node
host h1 10.1.2.21
ip netns exec "$lab-h1" "$node" --name ShotDimmer --mac 00:1a:2b:3c:4d:01 --universe 0 >/dev/null &
host h2 10.1.2.22
ip netns exec "$lab-h2" "$node" --name ShotMover --mac 00:1a:2b:3c:4d:02 --options 3 --universe 1 >/dev/null &
host h3 10.1.2.23
ip netns exec "$lab-h3" "$node" --name ShotPar --mac 00:1a:2b:3c:4d:03 --options 7 --listen-to 1 >/dev/null &
sleep 0.5

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
ip netns exec "$lab-tool" unshare --uts sh -c 'hostname praveltest-lab && exec "$@"' sh \
    env DISPLAY="$display" QT_QPA_PLATFORM=xcb build/default/app/praveltest >/dev/null 2>&1 &
program=$!
for _ in $(seq 50); do
    window=$(DISPLAY=$display xdotool search --name '^PraveltTest$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1.5  # three replies, one per tick
export DISPLAY=$display
xdotool windowfocus --sync "$window"
# From the tree: Tab to Poll Again, Tab to the slider; then full level and three pages down.
xdotool key --window "$window" Tab Tab Home Page_Down Page_Down Page_Down
sleep 0.5
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "wrote $out"
