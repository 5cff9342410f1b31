# shellcheck shell=bash
# shellcheck disable=SC2034 # the package lists are for the scripts that source this
# Shared by the build-and-open and build-and-test commands.

# Debian packages for building and running the program.
PRAVELTEST_BUILD_PACKAGES=(cmake g++ make qt6-base-dev libgl-dev fonts-dejavu-core)
# Extra packages for the test suite: GoogleTest, Google Benchmark, iproute2 for the lab
# of network namespaces, util-linux for unshare, nftables for a lab host's firewall, clang for
# the fuzzers.
# desktop-file-utils, appstream and groff-base check the desktop entry, metainfo and manual pages;
# tshark (with dumpcap and text2pcap) reads captures back through the Wireshark dissector.
PRAVELTEST_TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev iproute2 util-linux nftables clang libclang-rt-dev
    desktop-file-utils appstream groff-base tshark)
# For the Debian package: dpkg-shlibdeps finds the dependencies, and CPack runs file on binaries.
PRAVELTEST_PACKAGE_PACKAGES=(dpkg-dev file)
# For checking it: lintian, iproute2 and util-linux for the namespace it runs in, and tshark for the
# installed dissector.
PRAVELTEST_PACKAGE_CHECK_PACKAGES=(lintian iproute2 util-linux tshark)

# Resolved once: a caller that sourced this by a relative path may cd elsewhere afterwards.
PRAVELTEST_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
praveltest_root() { echo "$PRAVELTEST_ROOT"; }

# Stops unless root, saying each argument as a line on standard error.
praveltest_require_root() {
    [ "$(id -u)" -ne 0 ] || return 0
    printf '%s\n' "$@" >&2
    exit 1
}

# Installs what is missing with apt-get when root; otherwise names it and stops.
praveltest_ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them with: sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures a preset, quietly. Run on its own before praveltest_build where a build folder
# may predate a target: make finds no rule for a target its folder was configured without.
praveltest_configure() { cmake --preset "$1" -S "$PRAVELTEST_ROOT" >/dev/null; }

# Configures a preset once, then builds it, or only the targets after it; quick when nothing
# changed.
praveltest_build() {
    local preset=$1
    shift
    [ -f "$PRAVELTEST_ROOT/build/$preset/CMakeCache.txt" ] || praveltest_configure "$preset"
    # A build preset is found in the current folder's CMakePresets.json.
    (cd "$PRAVELTEST_ROOT" && cmake --build --preset "$preset" -j "$(nproc)" ${1:+--target "$@"})
}

# A command and its arguments for the EXIT trap, which also runs on Ctrl+C; the last added runs
# first, and each runs whether or not the one before it failed.
PRAVELTEST_ON_EXIT=()
praveltest_on_exit() {
    PRAVELTEST_ON_EXIT+=("$(printf '%q ' "$@")")
    trap praveltest_run_on_exit EXIT
}
praveltest_run_on_exit() {
    local i
    for ((i = ${#PRAVELTEST_ON_EXIT[@]} - 1; i >= 0; i--)); do
        eval "${PRAVELTEST_ON_EXIT[i]}" || true
    done
}

# The program keeps the user's choice of interface in ~/.config/PraveltTest; tests, benchmarks
# and pictures start from none and leave the user's own untouched.
praveltest_private_settings() {
    XDG_CONFIG_HOME=$(mktemp -d /tmp/praveltest-settings.XXXXXX)
    export XDG_CONFIG_HOME
    praveltest_on_exit rm -rf "$XDG_CONFIG_HOME"
}

# A lab of network namespaces from the praveltest-lab of preset $1 (built already), named $2,
# with the rest as "up" options such as --host A.B.C.D; it comes down when the script exits.
# Its namespaces are $2-tool (10.1.2.3) and $2-h1... for the hosts, in order.
praveltest_lab_up() {
    PRAVELTEST_LAB="$PRAVELTEST_ROOT/build/$1/testing/praveltest-lab" PRAVELTEST_LAB_NAME=$2
    shift 2
    praveltest_on_exit praveltest_lab_down
    "$PRAVELTEST_LAB" up "$PRAVELTEST_LAB_NAME" "$@" >/dev/null
}
praveltest_lab_down() { "$PRAVELTEST_LAB" down "$PRAVELTEST_LAB_NAME"; }
# Runs a command in the lab's host $1 ("tool", "h1"...).
praveltest_lab_exec() {
    local host=$1
    shift
    "$PRAVELTEST_LAB" exec "$PRAVELTEST_LAB_NAME-$host" -- "$@"
}

# Runs its arguments in a new network namespace with loopback up, as root or through an
# unprivileged user namespace; without either, says so and runs them as they are.
isolated() {
    local inner='ip link set lo up && exec "$@"'
    if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
        unshare --net -- sh -c "$inner" sh "$@"
    elif unshare --user --map-root-user --net true 2>/dev/null; then
        unshare --user --map-root-user --net -- sh -c "$inner" sh "$@"
    else
        echo "warning: no network namespace available; tests use loopback only" >&2
        "$@"
    fi
}

# Qt for Windows, cross-built from Debian's source (scripts/build-qt-windows.sh): the MinGW-w64
# compilers, apt-get source's unpacker, Ninja and the host's Qt tools.
PRAVELTEST_QT_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix dpkg-dev ninja-build qt6-base-dev
    qt6-base-dev-tools)
# Modules and features the program does not use.
PRAVELTEST_QT_WINDOWS_FEATURES_OFF=(sql network dbus opengl printsupport concurrent xml
    tabletevent jpeg gif vulkan openssl icu)

praveltest_host_qt_version() { dpkg-query -W -f='${Version}' qt6-base-dev; }

# The cache folder for this host's Qt version and the feature set above.
praveltest_qt_windows_prefix() {
    local cache=${PRAVELTEST_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/praveltest}
    local options
    options=$(printf '%s\n' shared release "${PRAVELTEST_QT_WINDOWS_FEATURES_OFF[@]}" |
        sha256sum | cut -c1-8)
    echo "$cache/qt-windows-$(praveltest_host_qt_version | tr '+~:' '---')-$options"
}

# The Windows packages (scripts/package-windows.sh): CPack's NSIS generator runs makensis; the
# zip is written by CPack itself and read back with unzip.
PRAVELTEST_WINDOWS_PACKAGE_PACKAGES=(nsis unzip)
# What the zip and the installer put in their folder, the installer's Uninstall.exe aside.
PRAVELTEST_WINDOWS_PACKAGE_FILES=(LICENSE.txt README.txt THIRD-PARTY.txt
    bin/praveltest.exe bin/praveltest-cli.exe bin/praveltest-node.exe
    bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll
    bin/platforms/qwindows.dll bin/styles/qwindowsvistastyle.dll
    bin/libgcc_s_seh-1.dll bin/libstdc++-6.dll bin/libwinpthread-1.dll
    licenses/GPL-3.0.txt licenses/LGPL-3.0.txt licenses/qt6-base-copyright.txt
    licenses/gcc-mingw-w64-x86-64-posix-runtime-copyright.txt
    licenses/mingw-w64-x86-64-dev-copyright.txt
    licenses/qt-build/build-qt-windows.sh licenses/qt-build/common.sh
    licenses/qt-build/mingw-w64.cmake)

# Running the Windows exes under Wine (scripts/wine.sh): Wine, the fonts its prefix gets, and
# iproute2 and util-linux for the private network namespace it must run in.
PRAVELTEST_WINE_PACKAGES=(wine64 fonts-wine fonts-dejavu-core iproute2 util-linux)
# The Windows screenshot: a virtual X display, keys for the window, and the capture.
PRAVELTEST_WINE_SCREENSHOT_PACKAGES=(xvfb xdotool imagemagick)

# For the Windows check beyond Wine itself: the X display the window shows on, the keys typed
# into it and the OCR that reads it back; wrestool and strings to read the exe's resources.
PRAVELTEST_WINDOWS_CHECK_PACKAGES=(xvfb xauth xdotool imagemagick tesseract-ocr tesseract-ocr-eng
    icoutils binutils)

# Waits up to $4 seconds (default 10) until file $1 holds at least $2 lines matching $3.
wait_for_lines() {
    local deadline=$((SECONDS + ${4:-10})) found
    until found=$(grep -c -- "$3" "$1" 2>/dev/null) && [ "$found" -ge "$2" ]; do
        [ $SECONDS -lt $deadline ] || { echo "timed out waiting for '$3' in $1" >&2; return 1; }
        sleep 0.05
    done
}

# Captures X window $1 into $2 once two captures in a row are the same picture: the tick,
# which adds one entry at a time, has nothing left to show. Up to ten seconds.
capture_when_still() {
    local window=$1 out=$2 deadline=$((SECONDS + 10)) scratch
    scratch=$(mktemp -d)
    import -window "$window" "$scratch/before.png"
    while [ $SECONDS -lt $deadline ]; do
        import -window "$window" "$scratch/after.png"
        if compare -metric AE "$scratch/before.png" "$scratch/after.png" null: 2>/dev/null; then
            mv "$scratch/after.png" "$out"
            rm -rf "$scratch"
            return 0
        fi
        mv "$scratch/after.png" "$scratch/before.png"
    done
    rm -rf "$scratch"
    echo "the window kept changing" >&2
    return 1
}

# The id of the X window titled exactly $1, waited for up to $2 seconds (default 10). Only a
# mapped one: Wine names a window before it maps it, and focusing it then is an X error.
wait_for_window() {
    local deadline=$((SECONDS + ${2:-10})) id
    until id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$id" ]; do
        [ $SECONDS -lt $deadline ] || { echo "no window titled '$1' appeared" >&2; return 1; }
        sleep 0.1
    done
    echo "$id"
}

# The pictures' lab: network $name (a lab of $lab) for mode $1, its nodes' lines in $work, their
# pids added to the caller's pids. For "network", one node on the second network that the kept
# choice, eth1, reaches; else three nodes and two idle hosts for the monitor's consoles. Sets
# polled, the hosts the program's poll must reach, and from, its address there.
picture_lab_up() {
    if [ "$1" = network ]; then
        "$lab" up "$name" --second-host 10.7.0.21 >/dev/null
        picture_node h1 --name StageDim --mac 00:1a:2b:3c:4d:07 --universe 0
        polled=(h1) from=10.7.0.3
    else
        "$lab" up "$name" --host 10.1.2.21 --host 10.1.2.22 --host 10.1.2.23 \
            --host 10.1.2.40 --host 10.1.2.41 >/dev/null
        picture_node h1 --name ShotDimmer --mac 00:1a:2b:3c:4d:01 --universe 0
        picture_node h2 --name ShotMover --mac 00:1a:2b:3c:4d:02 --options 3 --universe 1
        picture_node h3 --name ShotPar --mac 00:1a:2b:3c:4d:03 --options 7 --listen-to 1
        polled=(h1 h2 h3) from=10.1.2.3
    fi
}

picture_node() {  # host arguments...
    local host=$1
    shift
    "$lab" exec "$name-$host" -- build/default/tools/praveltest-node "$@" >"$work/$host" &
    pids+=($!)
    wait_for_lines "$work/$host" 1 '^ready '
}

# Starts an Xvfb of its own, added to the caller's pids, and exports its DISPLAY.
start_xvfb() {
    # Xvfb picks a free display and writes its number.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    wait_for_lines "$work/display" 1 '^[0-9]'
    DISPLAY=":$(cat "$work/display")"
    export DISPLAY
}

# The id of the window titled $3 that the program's window $1 opens from its window menu, the
# item reached by keys $2 (Up from the first item reaches the last). A menu that has just
# appeared may not take keys yet: tried again, a few times.
open_from_window_menu() {
    local window=$1 keys=$2 title=$3 opened
    for _ in 1 2 3 4 5; do
        xdotool windowfocus --sync "$window" key alt+space
        sleep 0.5
        # shellcheck disable=SC2086 # one key a word
        xdotool key $keys
        opened=$(wait_for_window "$title" 3 2>/dev/null) && { echo "$opened"; return 0; }
        xdotool key Escape
    done
    echo "the $title window did not open" >&2
    return 1
}

# The Channel Check window of the program's window $1, opened from the window menu's last item,
# set to channels 37 to 48, started and stepped on to 40, then captured to $3; $2 is the scratch
# folder whose h1 file holds the first node's lines.
capture_channel_check() {
    local window=$1 work=$2 out=$3 check
    check=$(open_from_window_menu "$window" 'Up Return' 'Channel Check') || return 1
    xdotool windowfocus --sync "$check"
    # Universe, start code, then the first and last channel; Start, then Next three times.
    xdotool key --window "$check" Tab Tab ctrl+a 3 7 Tab ctrl+a 4 8 Tab
    xdotool key --window "$check" alt+s
    wait_for_lines "$work/h1" 1 '^dmx from=10.1.2.3:3333 .* channels=48 levels=0-255' 30
    # A mnemonic holds its button down for a moment, and a second press meanwhile would be lost.
    for _ in 1 2 3; do
        xdotool key --window "$check" alt+n
        sleep 0.4
    done
    mkdir -p "$(dirname "$out")"
    capture_when_still "$check" "$out"
}

# The Network window of the program's window $1, third from the window menu's end, captured to
# $2 once it is still.
capture_network() {
    local window=$1 out=$2 network
    network=$(open_from_window_menu "$window" 'Up Up Up Return' 'Network') || return 1
    mkdir -p "$(dirname "$out")"
    capture_when_still "$network" "$out"
}

# Takes the DMX monitor's picture into $5: lab $1 named $2, whose hosts h4 (10.1.2.40) and h5
# (10.1.2.41) become consoles that both send universe 1 with build/default's praveltest-cli,
# and the program's window $3, whose slider has the focus; $4 is a scratch folder. The monitor
# opens from the window menu's last item; then the program and the first console each change
# their levels, and the picture is taken while those changes are marked. Adds the consoles to
# the caller's pids.
capture_monitor() {
    local lab=$1 name=$2 window=$3 work=$4 out=$5 cli=build/default/tools/praveltest-cli monitor
    echo 180 >"$work/level"
    "$lab" exec "$name-h4" -- bash -c "while :; do
        $cli level \$(cat $work/level) --universe 1 --channels 96 >/dev/null
        $cli level 60 --universe 2 --channels 512 >/dev/null; sleep 0.2; done" &
    pids+=($!)
    "$lab" exec "$name-h5" -- bash -c "while :; do
        $cli level 128 --universe 1 --channels 24 --format rle >/dev/null; sleep 0.2; done" &
    pids+=($!)
    # Before Channel Check, the menu's last item.
    monitor=$(open_from_window_menu "$window" 'Up Up Return' 'DMX Monitor') || return 1
    # The program's own messages; then, with every source heard, the first console's universe
    # 1, second in the list after the program's own; and the changes to be marked.
    xdotool windowfocus --sync "$window" key Page_Up
    sleep 1
    xdotool windowfocus --sync "$monitor" key ctrl+Home Down
    xdotool windowfocus --sync "$window" key Page_Up
    echo 200 >"$work/level"
    xdotool windowfocus --sync "$monitor"
    sleep 0.8
    mkdir -p "$(dirname "$out")"
    import -window "$monitor" "$out"
}
