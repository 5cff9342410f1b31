#!/usr/bin/env bash
# Builds PraveltTest and opens it. Only the program is built, and the build's output goes to
# build/run.log, shown only when the build fails, so that the program's own output stands alone.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}"

mkdir -p build
log=build/run.log
echo "building praveltest (output in $log)" >&2
if ! { { [ -f build/run/CMakeCache.txt ] || cmake --preset run; } &&
    cmake --build --preset run -j "$(nproc)"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "the build failed; its output is above and in $log" >&2
    exit 1
fi
exec "$root/build/run/app/praveltest" "$@"
