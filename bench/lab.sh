# A lab of network namespaces for the whole-program scripts (bench/perf.sh, scripts/soak.sh):
# a switch namespace with a bridge, the tool host at 10.1.2.3/24 whose host name resolves to
# that address, and one node host at 10.1.2.20/24. Nothing in it can reach a real network.
# Source it as root, then call lab_make NAME; the lab is deleted when the shell exits, also
# after Ctrl+C or a failure. Afterwards $toolns and $nodens name the hosts' namespaces.

lab_made=()
lab_cleanup() {
    local i ns
    for ((i = ${#lab_made[@]} - 1; i >= 0; i--)); do
        ns=${lab_made[i]}
        ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
        ip netns delete "$ns" 2>/dev/null || true
    done
    [ -z "${toolns:-}" ] || rm -rf "/etc/netns/$toolns"
    [ -z "${lab_runtime:-}" ] || rm -rf "$lab_runtime"
}

lab_add_ns() {
    ip netns add "$1"
    lab_made+=("$1")
    ip -n "$1" link set lo up
}

lab_connect() {  # namespace address port
    ip -n "$lab_switch" link add "$3" type veth peer name eth0 netns "$1"
    ip -n "$lab_switch" link set "$3" master br0 up
    ip -n "$1" addr add "$2/24" brd + dev eth0
    ip -n "$1" link set eth0 up
}

lab_make() {  # name
    trap lab_cleanup EXIT
    trap 'exit 130' INT TERM
    lab_switch="$1-sw" toolns="$1-tool" nodens="$1-node"
    lab_add_ns "$lab_switch"
    ip -n "$lab_switch" link add br0 type bridge
    ip -n "$lab_switch" link set br0 up
    lab_add_ns "$toolns"
    mkdir -p "/etc/netns/$toolns"
    printf '127.0.0.1 localhost\n10.1.2.3 praveltest-lab\n' >"/etc/netns/$toolns/hosts"
    lab_connect "$toolns" 10.1.2.3 p1
    lab_add_ns "$nodens"
    lab_connect "$nodens" 10.1.2.20 p2
    # A runtime directory of its own, as a desktop session would give the program.
    lab_runtime=$(mktemp -d /tmp/praveltest-lab-runtime.XXXXXX)
}

# Runs a command in the tool namespace under the host name praveltest-lab, as the program
# expects, on the offscreen platform.
lab_in_tool() {
    ip netns exec "$toolns" unshare --uts env QT_QPA_PLATFORM=offscreen \
        XDG_RUNTIME_DIR="$lab_runtime" sh -c 'hostname praveltest-lab && exec "$@"' sh "$@"
}
