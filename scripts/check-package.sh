#!/usr/bin/env bash
# Root only. Builds the Debian package, runs lintian on it, installs it with apt-get, runs the
# installed programs inside a network namespace of its own (the program's start-up poll must reach
# a node there), then purges the package and checks that nothing of it is left on disk.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
praveltest_require_root \
    "check-package.sh installs a package and builds a network namespace: run it as root"
praveltest_ensure_packages "${PRAVELTEST_PACKAGE_CHECK_PACKAGES[@]}"

ns=praveltest-pkg-$$
lab=build/release/testing/praveltest-lab
work=$(mktemp -d)
pids=()
installed=0
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    [ ! -x "$lab" ] || "$lab" down "$ns"
    rm -rf "$work"
    if [ $installed = 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq praveltest >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== package"
package=$(bash scripts/package.sh)
echo "$package"

echo "== lintian"
lintian --display-info "$package" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "$package" >/dev/null 2>&1 || fail "lintian reports errors"

echo "== install"
if dpkg-query -W -f='${Status}' praveltest 2>/dev/null | grep -q 'install ok installed'; then
    fail "praveltest is installed already; purge it first"
fi
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >/dev/null
dpkg -L praveltest >"$work/files"
for path in /usr/bin/praveltest /usr/bin/praveltest-node /usr/share/applications/praveltest.desktop \
    /usr/share/man/man1/praveltest.1.gz /usr/share/man/man1/praveltest-node.1.gz \
    /usr/share/doc/praveltest/copyright; do
    [ -f "$path" ] || fail "$path is not installed"
done

# The lab: the program's host at 10.1.2.3/24 and a node host on one bridge. The program's host
# name maps to 127.0.1.1, as on Debian, so it broadcasts from the first interface that can
# broadcast: 10.1.2.255. Nothing it sends can leave the lab.
echo "== run in lab $ns"
cmake --build build/release --target praveltest-lab >/dev/null
"$lab" up "$ns" --host 10.1.2.20 --host-name-address 127.0.1.1 >/dev/null

"$lab" exec "$ns-h1" -- praveltest-node --help >"$work/help" || fail "praveltest-node --help failed"
grep -q -- '--bind A.B.C.D' "$work/help" || fail "praveltest-node --help does not list its options"

"$lab" exec "$ns-h1" -- praveltest-node --bind 10.1.2.255 >"$work/node" 2>&1 &
pids+=($!)
wait_for_lines "$work/node" 1 '^ready bind=10.1.2.255 port=3333 nodes=1$' ||
    fail "the installed praveltest-node did not start: $(cat "$work/node")"

"$lab" exec "$ns-tool" -- env QT_QPA_PLATFORM=offscreen praveltest >"$work/program" 2>&1 &
pids+=($!)
wait_for_lines "$work/node" 1 '^poll from=10.1.2.3:3333 replies=1$' ||
    fail "no start-up poll from the installed praveltest reached 10.1.2.255: $(cat "$work/node" "$work/program")"
kill -0 "${pids[1]}" 2>/dev/null || fail "the installed praveltest ended early: $(cat "$work/program")"
cat "$work/node"
for pid in "${pids[@]}"; do
    kill "$pid"
    wait "$pid" 2>/dev/null || true
done
pids=()

# tshark loads the installed dissector from Wireshark's global Lua plugins folder, with no -X
# option, and decodes the node's reply to the installed program's poll as the window shows it.
echo "== wireshark dissector"
plugins=$(tshark -G folders 2>/dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')
[ -f "$plugins/praveltest.lua" ] ||
    fail "praveltest.lua is not in Wireshark's global Lua plugins folder '$plugins'"
# Only poll replies (code VXPR) pass the filter, so dumpcap ends with the first.
"$lab" exec "$ns-tool" -- dumpcap -q -i any -f 'udp port 3333 and udp[8:4] = 0x56585052' -c 1 \
    -w "$work/reply.pcapng" 2>"$work/dumpcap" &
capture_pid=$!
pids+=("$capture_pid")
wait_for_lines "$work/dumpcap" 1 '^Capturing on' || fail "dumpcap did not start: $(cat "$work/dumpcap")"
"$lab" exec "$ns-tool" -- praveltest-node --bind 10.1.2.255 --name PkgNode --universe 3 \
    >"$work/reply-node" 2>&1 &
pids+=($!)
wait_for_lines "$work/reply-node" 1 '^ready ' || fail "praveltest-node did not start: $(cat "$work/reply-node")"
"$lab" exec "$ns-tool" -- env QT_QPA_PLATFORM=offscreen praveltest >"$work/program" 2>&1 &
pids+=($!)
deadline=$((SECONDS + 10))
while kill -0 $capture_pid 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "no poll reply captured: $(cat "$work/dumpcap" "$work/reply-node")"
    sleep 0.1
done
tshark -r "$work/reply.pcapng" -V -O praveltest >"$work/decoded" 2>/dev/null ||
    fail "tshark could not read the capture"
sed -n '/^PraveltTest Node Protocol/,/^$/p' "$work/decoded"
while IFS= read -r line; do
    sed 's/^ *//' "$work/decoded" | grep -qFx -- "$line" || fail "the dissector did not show '$line'"
done <<'ROWS'
PraveltTest Node Protocol, Poll reply (VXPR), Node Name: PkgNode
[IP Address: 10.1.2.3]
MAC Address: 02 00 00 00 00 01
Node Type: 0001
Version: 01
Switch Settings: 00
Options: Node is configured, 
Type of Service: 00
Packet TTL: 40
Listen to: Broadcast
Listen IP Address: 0.0.0.0
DMX Universe: 4 (1537-2048)
ROWS
for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
done
pids=()

# praveltest-cli, with the window gone so that no other program on the host shares its port.
echo "== praveltest-cli in lab $ns"
for path in /usr/bin/praveltest-cli /usr/share/man/man1/praveltest-cli.1.gz \
    /usr/share/bash-completion/completions/praveltest /usr/share/bash-completion/completions/praveltest-node \
    /usr/share/bash-completion/completions/praveltest-cli; do
    [ -f "$path" ] || fail "$path is not installed"
done
"$lab" exec "$ns-tool" -- praveltest-node --bind 10.1.2.255 --name PkgNode >"$work/cli-node" 2>&1 &
pids+=($!)
wait_for_lines "$work/cli-node" 1 '^ready ' || fail "praveltest-node did not start: $(cat "$work/cli-node")"
"$lab" exec "$ns-tool" -- praveltest-cli poll --expect 1 >"$work/cli" 2>&1 ||
    fail "the installed praveltest-cli poll --expect 1 found no node: $(cat "$work/cli" "$work/cli-node")"
grep -q '^PkgNode  10\.1\.2\.3 ' "$work/cli" || fail "praveltest-cli did not list the node: $(cat "$work/cli")"
cat "$work/cli"
kill "${pids[0]}"
wait "${pids[0]}" 2>/dev/null || true
pids=()

echo "== purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq praveltest >/dev/null
installed=0
# What remains may only be a directory that another package owns too, such as /usr/bin.
left=0
while read -r path; do
    [ -e "$path" ] || continue
    if [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then
        continue
    fi
    echo "left on disk: $path" >&2
    left=1
done <"$work/files"
[ $left = 0 ] || fail "the purged package left files behind"
echo "check-package: OK"
