#!/usr/bin/env bash
# Builds Qt for Windows (x86-64, MinGW-w64, shared, Release) from Debian's own qtbase source
# package, the very version of the host's Qt tools, which the cross build runs as its moc and
# rcc. It builds once into a cache folder named by version and options, outside any build tree;
# later runs find it there and cost nothing. Prints the folder on its last line.
# As root it installs what it needs, the deb-src entry included; otherwise it names it and stops.
# PRAVELTEST_CACHE_DIR moves the cache (default: ~/.cache/praveltest).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)

praveltest_ensure_packages "${PRAVELTEST_QT_WINDOWS_PACKAGES[@]}"
prefix=$(praveltest_qt_windows_prefix)
# One build at a time; a second caller waits for the first and then finds its result.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
if ! flock -n 9; then
    echo "build-qt-windows: waiting for the build another process is running" >&2
    flock 9
fi
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

version=$(praveltest_host_qt_version)
work="$prefix.work"
rm -rf "$work"
mkdir -p "$work"
log="$work/build.log"
fail() {
    echo "build-qt-windows: $1" >&2
    [ -f "$log" ] && { tail -n 30 "$log" >&2; echo "(whole log: $log)" >&2; }
    exit 1
}

# apt-get source needs a deb-src entry: the binary entries' own, with their keyring.
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
    if [ "$(id -u)" -ne 0 ]; then
        fail "apt has no deb-src entry, so Debian's qt6-base source cannot be fetched; add one
(a copy of the Debian entry in /etc/apt/sources.list.d with Types: deb-src) and run apt-get update"
    fi
    list=/etc/apt/sources.list.d/debian.sources
    [ -f "$list" ] || fail "no $list to copy a deb-src entry from"
    sed 's/^Types: deb$/Types: deb-src/' "$list" >/etc/apt/sources.list.d/praveltest-deb-src.sources
    apt-get update -qq || fail "apt-get update failed after adding the deb-src entry"
fi

start=$SECONDS
echo "build-qt-windows: fetching qt6-base $version" >&2
(cd "$work" && apt-get source -qq "qt6-base=$version") >"$log" 2>&1 ||
    fail "apt-get source qt6-base=$version failed"
source_dir=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
[ -n "$source_dir" ] || fail "no qt6-base source folder after apt-get source"

echo "build-qt-windows: configuring (log: $log)" >&2
options=()
for feature in "${PRAVELTEST_QT_WINDOWS_FEATURES_OFF[@]}"; do
    options+=("-DFEATURE_$feature=OFF")
done
cmake -S "$source_dir" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DPRAVELTEST_MINGW_SHARED=ON \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DINPUT_opengl=no "${options[@]}" \
    >>"$log" 2>&1 || fail "configuring Qt failed"
echo "build-qt-windows: building, about 25 minutes on two cores" >&2
cmake --build "$work/build" -j "$(nproc)" >>"$log" 2>&1 || fail "building Qt failed"
cmake --install "$work/build" >>"$log" 2>&1 || fail "installing Qt failed"
cp "$source_dir/LICENSES/LGPL-3.0-only.txt" "$prefix/LICENSE.LGPL3" 2>/dev/null ||
    cp "$source_dir"/LICENSE.LGPL3 "$prefix/LICENSE.LGPL3" || fail "no LGPL-3 licence text in the source"
printf 'qt6-base %s\n' "$version" >"$prefix/SOURCE"
seconds=$((SECONDS - start))
printf '%s\n' "$seconds" >"$prefix/BUILD_SECONDS"
touch "$prefix/.complete"
rm -rf "$work"
echo "build-qt-windows: built in $seconds s, $(du -sh "$prefix" | cut -f1) installed" >&2
echo "$prefix"
