# Wine for the Windows build, sourced by the scripts that run exes under it: finds Wine, and
# makes a prefix whose fonts are the same on every machine.
#
#   praveltest_wine_env PREFIX      exports WINEPREFIX and the rest of Wine's environment
#   praveltest_wine_prefix          creates or updates that prefix and ends any server of it
#   praveltest_wine EXE [ARG]...    runs a Windows program
#   praveltest_wine_stop            ends the prefix's wineserver
#
# Wine makes every socket in its wineserver, in the network namespace the server started in,
# so these refuse to start Wine where the scripts themselves started (see below).

praveltest_wine_binary() {
    local candidate
    for candidate in wine64 /usr/lib/wine/wine64 wine; do
        if command -v "$candidate" >/dev/null; then
            command -v "$candidate"
            return 0
        fi
    done
    echo "no Wine found (Debian package wine64)" >&2
    return 1
}

praveltest_wineserver_binary() {
    local wine server
    wine=$(praveltest_wine_binary) || return 1
    server="$(dirname "$(readlink -f "$wine")")/wineserver"
    [ -x "$server" ] || server=$(command -v wineserver) || { echo "no wineserver found" >&2; return 1; }
    echo "$server"
}

# The network namespace this file was first sourced in, before a script entered one of its own.
export PRAVELTEST_OUTER_NETWORK=${PRAVELTEST_OUTER_NETWORK:-$(readlink /proc/self/ns/net)}

# Fails unless this shell is in a network namespace other than the one its scripts started in,
# or in one where nothing but loopback has an address.
praveltest_wine_check_network() {
    [ "$(readlink /proc/self/ns/net)" != "$PRAVELTEST_OUTER_NETWORK" ] && return 0
    ip -o address show | awk '$2 != "lo" { found = 1 } END { exit found }' && return 0
    echo "refusing to start Wine in a network namespace that reaches beyond this host" >&2
    return 1
}

praveltest_wine_env() {
    local prefix
    mkdir -p "$1"
    prefix=$(cd "$1" && pwd)
    export WINEPREFIX=$prefix
    export WINEDEBUG=-all
    # No Mono or Gecko installer, and no menu entries or file associations on the host.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # Wine adds every font fontconfig lists to the Windows fonts, and the host's set varies.
    # Without a Windows UI font Qt fell back on a math font: fonts-lyx's drew every text as
    # symbols, and DejaVu Math TeX Gyre's tall bounds left the number fields blank.
    export FONTCONFIG_FILE="$prefix/praveltest-fonts/fonts.conf"
    unset WINEARCH WINELOADER WINESERVER
}

# One empty folder: with no folder at all, fontconfig falls back to /usr/share/fonts.
praveltest_wine_fontconfig() {
    cat <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>$WINEPREFIX/praveltest-fonts/none</dir>
  <cachedir>$WINEPREFIX/praveltest-fonts/cache</cachedir>
</fontconfig>
EOF
}

# The prefix's Fonts folder, as on Windows: Wine's own from fonts-wine (Tahoma, MS Sans Serif,
# Marlett for the caption buttons...), which Debian's Wine does not look for where that
# package puts them, and DejaVu Sans for characters those lack.
praveltest_wine_font_files() {
    ls /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon &&
        dpkg-query -L fonts-dejavu-core | grep -E '/DejaVuSans(-Bold)?\.ttf$'
}

# What the prefix holds beyond a plain one.
praveltest_wine_registry() {
    cat <<'EOF'
Windows Registry Editor Version 5.00

; Wine keeps each font fontconfig ever offered, by its path, and loads it again from here; a
; prefix once used without this setup forgets them. Wine writes its own entries back when it
; finds no code pages recorded.
[-HKEY_CURRENT_USER\Software\Wine\Fonts\External Fonts]
[-HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Fonts]
[-HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Fonts]
[HKEY_CURRENT_USER\Software\Wine\Fonts]
"Codepages"=-

; The faces dialog templates name, on Tahoma as on Windows 2000 and later.
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS Shell Dlg"="Tahoma"
"MS Shell Dlg 2"="Tahoma"

; Grey-scale smoothing, whatever the host's fontconfig would choose.
[HKEY_CURRENT_USER\Control Panel\Desktop]
"FontSmoothing"="2"
"FontSmoothingType"=dword:00000001
"FontSmoothingGamma"=dword:00000578

; Wine draws each window's title bar and frame itself, as Windows does, with or without a
; window manager.
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
EOF
}

praveltest_wine_prefix() {
    : "${WINEPREFIX:?praveltest_wine_env first}"
    praveltest_wine_check_network || return 1
    local wine server fonts stamp
    wine=$(praveltest_wine_binary) && server=$(praveltest_wineserver_binary) || return 1
    fonts=$(praveltest_wine_font_files) ||
        { echo "the fonts of fonts-wine and fonts-dejavu-core are needed" >&2; return 1; }
    mkdir -p "$WINEPREFIX/praveltest-fonts/none"
    praveltest_wine_fontconfig >"$FONTCONFIG_FILE"
    # A server left from an earlier run may be in another namespace; the next one starts here.
    "$server" -k 2>/dev/null || true
    "$server" -w 2>/dev/null || true
    # Later runs cost nothing while Wine, these settings and these fonts stay the same.
    stamp=$({ "$wine" --version; praveltest_wine_registry; xargs sha256sum <<<"$fonts"; } |
        sha256sum)
    [ "$(cat "$WINEPREFIX/.praveltest-prefix" 2>/dev/null)" = "$stamp" ] && return 0
    echo "preparing the Wine prefix $WINEPREFIX" >&2
    rm -f "$WINEPREFIX/.praveltest-prefix"
    "$wine" wineboot --init >/dev/null 2>&1 || { echo "wineboot failed" >&2; return 1; }
    "$server" -w
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    xargs cp -t "$WINEPREFIX/drive_c/windows/Fonts/" <<<"$fonts"
    praveltest_wine_registry >"$WINEPREFIX/drive_c/praveltest.reg"
    "$wine" regedit /S 'C:\praveltest.reg' >/dev/null 2>&1 ||
        { echo "importing the prefix's registry settings failed" >&2; return 1; }
    rm "$WINEPREFIX/drive_c/praveltest.reg"
    "$server" -w
    echo "$stamp" >"$WINEPREFIX/.praveltest-prefix"
}

praveltest_wine() {
    : "${WINEPREFIX:?praveltest_wine_env first}"
    praveltest_wine_check_network || return 1
    "$(praveltest_wine_binary)" "$@"
}

praveltest_wine_stop() {
    local server
    server=$(praveltest_wineserver_binary) || return 1
    "$server" -k 2>/dev/null || true
    "$server" -w 2>/dev/null || true
}
