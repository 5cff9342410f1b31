#!/usr/bin/env bash
# Checks the Windows installer under Wine: installs it silently into a fresh Wine prefix of its
# own, inside a private network namespace with only loopback; checks the files, the Apps and
# Features entry, the Start menu shortcut and the firewall commands; runs the installed programs;
# uninstalls silently and checks that nothing of it is left.
#
#   scripts/check-windows-installer.sh [--keep DIR] praveltest-VERSION-windows-x86_64-setup.exe
#
# --keep DIR makes the prefix in DIR (new or empty) and leaves PraveltTest installed there,
# uninstall unchecked, for checks that run the installed programs afterwards: inside the
# namespace they are to run in, praveltest_wine_env DIR (scripts/wine.sh), then praveltest_wine
# DIR/drive_c/PraveltTest/bin/praveltest.exe, and praveltest_wine_stop before leaving it.
#
# Prints one line per check and exits non-zero when any fails. With CI=true, a skip for want of
# a tool (Wine, MinGW-w64) counts as a failure; a skip for what Wine cannot show does not.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"
root=$(praveltest_root)

failures=0
pass() { echo "ok    $1"; }
fail() { echo "FAIL  $1"; failures=$((failures + 1)); }
# A skip that a machine set up for the Windows build would not need.
skip_missing() {
    echo "SKIP  $1"
    [ "${CI:-}" != true ] || { echo "FAIL  (CI=true: that skip is a failure)"; failures=$((failures + 1)); }
}

if [ "${1:-}" = --inside ]; then
    installer=$2 keep=$3
    praveltest_wine_env "$4"
    wine=$(praveltest_wine_binary)
    wineserver=$(praveltest_wineserver_binary)
    # Wine makes every socket in its wineserver, so it must be one started in this namespace,
    # and it must not outlive it.
    trap praveltest_wine_stop EXIT
    # Waits, bounded, until every process of the prefix has ended and the registry is on disk.
    settle() { timeout 120 "$wineserver" -w; }

    version=$(sed -nE 's/^project\(PraveltTest VERSION ([0-9.]+) .*/\1/p' "$root/CMakeLists.txt")
    dir=C:\\PraveltTest
    unix_dir=$WINEPREFIX/drive_c/PraveltTest
    key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\PraveltTest'
    netsh_log=$WINEPREFIX/drive_c/netsh.log
    # What the installer puts in its folder; the zip holds the same but Uninstall.exe.
    expected_files=$(printf '%s\n' "${PRAVELTEST_WINDOWS_PACKAGE_FILES[@]}" Uninstall.exe | sort)

    praveltest_wine_prefix || { fail "no Wine prefix could be made"; exit 1; }
    praveltest_wine_check_network || exit 1
    if [ -f "$PRAVELTEST_NETSH_RECORDER" ]; then
        cp "$PRAVELTEST_NETSH_RECORDER" "$WINEPREFIX/drive_c/windows/system32/netsh.exe"
    fi
    # The recorder in place of Wine's netsh.
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netsh.exe=n"
    export PRAVELTEST_NETSH_LOG='C:\netsh.log'

    # The installer's Details tab: its version resource holds each key's UTF-16 text, then the
    # value's.
    details=$(strings -el "$installer")
    detail() { awk -v key="$1" 'previous == key { print; exit } { previous = $0 }' <<<"$details"; }
    for pair in "CompanyName=PraveltTest developers" "ProductName=PraveltTest" \
        "ProductVersion=$version"; do
        actual=$(detail "${pair%%=*}")
        if [ "$actual" = "${pair#*=}" ]; then pass "installer's details: ${pair%%=*} ${pair#*=}"
        else fail "installer's details: ${pair%%=*} is '$actual', expected '${pair#*=}'"; fi
    done

    # /D must come last and unquoted, even with spaces in the path.
    if "$wine" "$installer" /S "/D=$dir" >/dev/null 2>&1 && settle; then
        pass "silent install into $dir"
    else
        fail "silent install into $dir: the installer failed"
        exit 1
    fi

    found=$(cd "$unix_dir" && find . -type f | sed 's|^\./||' | sort)
    if [ "$found" = "$expected_files" ]; then
        pass "the install folder holds the $(wc -l <<<"$found") expected files"
    else
        fail "the install folder's files differ from those expected:"
        diff <(echo "$expected_files") <(echo "$found") | sed -n 's/^[<>]/     &/p' || true
    fi

    # Apps and Features reads these values of the uninstall key.
    values=$("$wine" reg query "$key" 2>/dev/null | tr -d '\r' || true)
    value() { sed -nE "s/^ +$1 +REG_SZ +//p" <<<"$values"; }
    check_value() {
        local actual
        actual=$(value "$1")
        if [ "$actual" = "$2" ]; then pass "uninstall entry $1 is $2"
        else fail "uninstall entry $1 is '$actual', expected '$2'"; fi
    }
    check_value DisplayName PraveltTest
    check_value DisplayVersion "$version"
    check_value Publisher "PraveltTest developers"
    check_value UninstallString "\"$dir\\Uninstall.exe\""
    check_value DisplayIcon "$dir\\bin\\praveltest.exe"

    # An administrator's install puts the shortcut in the Start menu of all users.
    menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/PraveltTest"
    shortcut="$menu/PraveltTest.lnk"
    if [ -f "$shortcut" ] && grep -aqF "$dir\\bin\\praveltest.exe" "$shortcut"; then
        pass "Start menu: PraveltTest > PraveltTest opens $dir\\bin\\praveltest.exe"
    else
        fail "Start menu: no $shortcut that opens $dir\\bin\\praveltest.exe"
    fi

    netsh_delete="advfirewall firewall delete rule name=\"PraveltTest\""
    netsh_add() {
        echo "advfirewall firewall add rule name=\"PraveltTest\" dir=in action=allow" \
            "program=\"$dir\\bin\\$1.exe\" protocol=UDP localport=3333"
    }
    netsh_calls() { sed -E 's/^("[^"]*"|[^ ]*) //' "$netsh_log" 2>/dev/null | tr -d '\r'; }
    if [ -f "$PRAVELTEST_NETSH_RECORDER" ]; then
        expected=$(echo "$netsh_delete"; netsh_add praveltest; netsh_add praveltest-cli
            netsh_add praveltest-node)
        if [ "$(netsh_calls)" = "$expected" ]; then
            pass "install runs netsh: inbound UDP 3333 allowed for the three programs"
        else
            fail "install's netsh commands differ from those expected:"
            diff <(echo "$expected") <(netsh_calls) | sed -n 's/^[<>]/     &/p' || true
        fi
    fi
    echo "SKIP  the firewall rules take effect: Wine has no firewall and its netsh no advfirewall"

    # Each program loads its DLLs before main, so a missing one fails these at once.
    bin="$unix_dir/bin"
    output=$("$wine" "$bin/praveltest-node.exe" --help 2>&1 | tr -d '\r' | head -n 1 || true)
    if [[ $output == Usage:*praveltest-node* ]]; then
        pass "installed praveltest-node.exe runs (MinGW-w64 runtime DLLs found)"
    else
        fail "installed praveltest-node.exe --help printed '$output'"
    fi
    output=$("$wine" "$bin/praveltest-cli.exe" --version 2>&1 | tr -d '\r' || true)
    if [ "$output" = "praveltest-cli $version" ]; then
        pass "installed praveltest-cli.exe --version prints praveltest-cli $version"
    else
        fail "installed praveltest-cli.exe --version printed '$output'"
    fi
    output=$("$wine" "$bin/praveltest.exe" --version 2>&1 | tr -d '\r' || true)
    if [ "$output" = "praveltest $version" ]; then
        pass "installed praveltest.exe --version prints praveltest $version (Qt DLLs found)"
    else
        fail "installed praveltest.exe --version printed '$output'"
    fi
    settle

    if [ -n "$keep" ]; then
        echo "SKIP  uninstall: --keep leaves PraveltTest installed in $WINEPREFIX"
        exit $((failures > 0))
    fi

    # As Apps and Features runs it: the uninstaller copies itself to the temporary folder, starts
    # the copy and returns at once; the wait is for the copy to end.
    : >"$netsh_log"
    if "$wine" "$unix_dir/Uninstall.exe" /S >/dev/null 2>&1 && settle; then
        pass "silent uninstall"
    else
        fail "silent uninstall: the uninstaller failed or did not end within 120 s"
    fi
    if [ ! -e "$unix_dir" ]; then
        pass "uninstall leaves no $dir"
    else
        fail "uninstall leaves $dir with: $(cd "$unix_dir" && find . -mindepth 1 | tr '\n' ' ')"
    fi
    if [ ! -e "$menu" ]; then pass "uninstall removes the Start menu folder"
    else fail "uninstall leaves $menu"; fi
    if ! "$wine" reg query "$key" >/dev/null 2>&1; then pass "uninstall removes the uninstall entry"
    else fail "uninstall leaves $key"; fi
    if [ -f "$PRAVELTEST_NETSH_RECORDER" ]; then
        if [ "$(netsh_calls)" = "$netsh_delete" ]; then
            pass "uninstall runs netsh to delete the PraveltTest rules"
        else
            fail "uninstall's netsh commands were '$(netsh_calls | tr '\n' ';')'"
        fi
    fi
    exit $((failures > 0))
fi

keep=
if [ "${1:-}" = --keep ]; then
    [ $# -ge 2 ] || { echo "--keep needs a folder" >&2; exit 2; }
    keep=$2
    shift 2
fi
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 [--keep DIR] INSTALLER.exe" >&2
    exit 2
fi
installer=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
start=$SECONDS

if ! praveltest_wine_binary >/dev/null 2>&1; then
    skip_missing "the installer check: no Wine (Debian package wine64)"
    exit $((failures > 0))
fi
if ! { [ "$(id -u)" -eq 0 ] && unshare --net true; } 2>/dev/null &&
    ! unshare --user --map-root-user --net true 2>/dev/null; then
    fail "no private network namespace can be made here; Wine is not run outside one"
    exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ -n "$keep" ]; then
    mkdir -p "$keep"
    [ -z "$(ls -A "$keep")" ] || { echo "--keep $keep: the folder is not empty" >&2; exit 2; }
    prefix=$(cd "$keep" && pwd)
else
    prefix=$scratch/prefix
fi
# Inside Wine, netsh.exe is replaced by this recorder of its command lines.
export PRAVELTEST_NETSH_RECORDER=$scratch/record-netsh.exe
if ! x86_64-w64-mingw32-gcc-posix -O2 -s -o "$PRAVELTEST_NETSH_RECORDER" \
        "$root/scripts/windows/record-netsh.c" 2>/dev/null; then
    rm -f "$PRAVELTEST_NETSH_RECORDER"
    skip_missing "the firewall commands: no MinGW-w64 C compiler (g++-mingw-w64-x86-64-posix)"
fi

status=0
isolated bash "$0" --inside "$installer" "$keep" "$prefix" || status=$?
echo "installer check took $((SECONDS - start)) s"
[ "$status" -eq 0 ] && [ "$failures" -eq 0 ]
