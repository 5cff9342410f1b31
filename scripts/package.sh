#!/usr/bin/env bash
# Builds the release preset and makes the Debian package with CPack; prints the package's path on
# standard output (everything else goes to standard error). A failed build leaves no package.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
praveltest_ensure_packages "${PRAVELTEST_BUILD_PACKAGES[@]}" "${PRAVELTEST_PACKAGE_PACKAGES[@]}" >&2

praveltest_build release >&2

# CPack writes into a scratch directory; only a finished package is moved to where it is used.
mkdir -p build/packages
scratch=$(mktemp -d build/packages/.cpack.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cpack -G DEB --config build/release/CPackConfig.cmake -B "$root/$scratch" >&2

made=("$scratch"/*.deb)
if [ ${#made[@]} -ne 1 ] || [ ! -f "${made[0]}" ]; then
    echo "cpack made ${#made[@]} packages, expected one: ${made[*]}" >&2
    exit 1
fi
package=$root/build/packages/$(basename "${made[0]}")
mv -f "${made[0]}" "$package"
echo "$package"
