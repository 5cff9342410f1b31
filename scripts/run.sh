#!/usr/bin/env bash
# Builds PraveltTest and opens it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}" "${PRAVELTEST_TEST_PACKAGES[@]}"
praveltest_build default
exec "$root/build/default/app/praveltest" "$@"
