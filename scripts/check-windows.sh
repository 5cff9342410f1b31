#!/usr/bin/env bash
# Builds the protocol, the endpoint, the simulated node and their tests for Windows with
# MinGW-w64 (the windows-cross preset) and runs every cross-built test executable under Wine,
# then windows_node_tests from the default build: praveltest-node.exe under Wine beside Linux
# programs on loopback and polled by the real window in the namespace lab.
# Wine runs only inside a private network namespace with loopback up (the lab adds its own).
# Prints one line per executable, then "N passed, N failed"; exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
cross=build/windows-cross
export WINEDEBUG=-all WINEPREFIX="$root/$cross/wine-prefix"

wine_binary() {
    local candidate
    for candidate in wine64 /usr/lib/wine/wine64 wine; do
        if command -v "$candidate" >/dev/null; then
            command -v "$candidate"
            return 0
        fi
    done
    echo "no Wine found" >&2
    return 1
}

# One executable; its summary line on stdout, its whole output in a log beside it.
run_one() {
    local name
    name=$(basename "${@: -1}")
    local log="$root/$cross/logs/$name.log"
    local status=0 tests
    "$@" >"$log" 2>&1 || status=$?
    tests=$(grep -Eo '^\[==========\] [0-9]+ tests? from [0-9]+ test suites? ran' "$log" |
        grep -Eo '^\[==========\] [0-9]+' | grep -Eo '[0-9]+$' || echo 0)
    local skipped
    skipped=$(grep -Eo '^\[  SKIPPED \] [0-9]+' "$log" | grep -Eo '[0-9]+$' || echo 0)
    if [ "$status" -eq 0 ] && [ "$tests" -gt 0 ]; then
        echo "passed  $name: $tests tests, $skipped skipped"
        return 0
    fi
    echo "FAILED  $name: exit status $status; log: $log"
    grep -E '^\[  FAILED  \] [^ ]+\.[^ ]+' "$log" | sed -E 's/\r$//; s/ \([0-9]+ ms\)$//' | sort -u |
        sed 's/^\[  FAILED  \]/        failed:/' || true
    return 1
}

if [ "${1:-}" = --inside ]; then
    shift
    wine=$(wine_binary)
    wineserver="$(dirname "$(readlink -f "$wine")")/wineserver"
    [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
    # Wine makes every socket in its wineserver, so the server must be one started here, in
    # this namespace; end any left from an earlier run first.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot -i >/dev/null 2>&1
        "$wineserver" -w
    fi
    mkdir -p "$root/$cross/logs"
    passed=0 failed=0
    while IFS= read -r exe; do
        if run_one "$wine" "$exe"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    done < <(find "$cross/tests" -name '*.exe' -not -path '*/googletest/*' | sort)
    "$wineserver" -k 2>/dev/null || true
    if run_one build/default/tests/lab/windows_node_tests; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
fi

start=$SECONDS
praveltest_ensure_packages g++-mingw-w64-x86-64-posix wine64 googletest \
    "${PRAVELTEST_BUILD_PACKAGES[@]}" libgtest-dev iproute2 util-linux
if ! { [ "$(id -u)" -eq 0 ] && unshare --net true; } 2>/dev/null &&
    ! unshare --user --map-root-user --net true 2>/dev/null; then
    echo "no private network namespace can be made here; Wine is not run outside one" >&2
    exit 1
fi
echo "== windows-cross: build"
praveltest_build windows-cross
echo "== default: build windows_node_tests"
[ -f build/default/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target windows_node_tests
echo "== tests under Wine"
status=0
isolated bash "$root/scripts/check-windows.sh" --inside || status=1
echo "Windows check took $((SECONDS - start)) s"
exit $status
