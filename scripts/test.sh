#!/usr/bin/env bash
# Builds PraveltTest and runs the whole test suite: the normal build, then the build with
# address and undefined-behaviour sanitizers, then a bounded run of each fuzzer. Tests run inside a private network namespace
# that has only loopback, so that no test can reach a real LAN. The suite's "resources" tests
# validate the desktop entry, the AppStream metainfo and the manual pages.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
praveltest_private_settings
root=$(praveltest_root)
cd "$root"
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}" "${PRAVELTEST_TEST_PACKAGES[@]}"

presets=(default sanitize)
[ "${PRAVELTEST_QUICK:-}" = 1 ] && presets=(default)

export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1"

status=0
for preset in "${presets[@]}"; do
    echo "== $preset: build"
    praveltest_build "$preset"
    echo "== $preset: tests"
    isolated ctest --test-dir "build/$preset" --output-on-failure -j "$(nproc)" \
        --timeout 600 "$@" || status=1
done
if [ "${PRAVELTEST_QUICK:-}" != 1 ]; then
    echo "== fuzz"
    isolated bash scripts/fuzz.sh || status=1
fi
exit $status
