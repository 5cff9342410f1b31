#!/usr/bin/env bash
# Makes the Windows packages: Qt for Windows (scripts/build-qt-windows.sh, built once into its
# cache), the windows-cross preset, then with CPack a portable zip and an NSIS installer. Checks
# that the zip holds exactly the expected files. Prints the two packages' paths on standard
# output, everything else on standard error; a failed run leaves no package behind.
# PRAVELTEST_QT_WINDOWS, when set, names an already built Qt for Windows.
# scripts/check-windows-installer.sh checks the installer under Wine.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
cd "$root"
praveltest_ensure_packages "${PRAVELTEST_WINDOWS_PACKAGE_PACKAGES[@]}" >&2

start=$SECONDS
if [ -z "${PRAVELTEST_QT_WINDOWS:-}" ]; then
    PRAVELTEST_QT_WINDOWS=$(bash scripts/build-qt-windows.sh | tail -n 1)
fi
export PRAVELTEST_QT_WINDOWS
praveltest_build windows-cross >&2

# CPack writes into a scratch folder; only finished packages are moved to where they are used.
packages=build/windows-cross/packages
mkdir -p "$packages"
scratch=$(mktemp -d "$packages/.cpack.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cpack_start=$SECONDS
cpack --config build/windows-cross/CPackConfig.cmake -B "$root/$scratch" >&2
cpack_seconds=$((SECONDS - cpack_start))

shopt -s nullglob
zips=("$scratch"/*.zip)
installers=("$scratch"/*-setup.exe)
if [ ${#zips[@]} -ne 1 ] || [ ${#installers[@]} -ne 1 ]; then
    echo "cpack made ${#zips[@]} zips and ${#installers[@]} installers, expected one each" >&2
    exit 1
fi

# The zip unpacks into one folder named as the zip.
top=$(basename "${zips[0]}" .zip)
expected=$(printf '%s\n' "${PRAVELTEST_WINDOWS_PACKAGE_FILES[@]}" | sed "s|^|$top/|" | sort)
found=$(unzip -Z1 "${zips[0]}" | grep -v '/$' | sort)
if [ "$found" != "$expected" ]; then
    echo "the zip's files differ from those expected (< missing, > unexpected):" >&2
    diff <(echo "$expected") <(echo "$found") | grep '^[<>]' >&2 || true
    exit 1
fi

for made in "${zips[0]}" "${installers[0]}"; do
    mv -f "$made" "$packages/"
    echo "$(basename "$made"): $(du -k "$packages/$(basename "$made")" | cut -f1) KiB" >&2
done
echo "packaging took $((SECONDS - start)) s, cpack $cpack_seconds s" >&2
echo "$root/$packages/$(basename "${zips[0]}")"
echo "$root/$packages/$(basename "${installers[0]}")"
