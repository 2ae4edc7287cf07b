# Sourced by the run and test scripts: one fresh Wine prefix per run, an Xvfb
# display for message boxes and windows, and a persistent wineserver.
# Everything started here is stopped by wex_wine_down (set as an EXIT trap).
#
# Wexlib.dll is a 32-bit DLL and runs under 32-bit Wine where the kernel can
# execute 32-bit code. Some kernels cannot (no IA-32 emulation): 32-bit Wine
# then fails with "Exec format error", and the same sources are built and
# tested for 64-bit Windows under 64-bit Wine instead. WEXLIB_ARCH=win32 or
# win64 forces the choice.

if [ -z "${WEXLIB_ARCH:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then WEXLIB_ARCH=win32; else WEXLIB_ARCH=win64; fi
fi
case "$WEXLIB_ARCH" in
    win32) WEX_WINE=/usr/lib/wine/wine; WEX_WINESERVER=/usr/lib/wine/wineserver32 ;;
    win64) WEX_WINE=/usr/lib/wine/wine64; WEX_WINESERVER=/usr/lib/wine/wineserver64 ;;
    *) echo "WEXLIB_ARCH must be win32 or win64" >&2; exit 2 ;;
esac
export WEXLIB_ARCH WEX_WINE WEX_WINESERVER
export WINEARCH=$WEXLIB_ARCH
export WINELOADER=$WEX_WINE
export WINESERVER=$WEX_WINESERVER
export WINEDEBUG=-all
export WINEPREFIX="${WEXLIB_WINEPREFIX:-$top/build/wineprefix-$WEXLIB_ARCH}"
export WINEDLLOVERRIDES="mscoree,mshtml="

wex_xvfb_pid=""

wex_wine_down() {
    "$WEX_WINESERVER" -k 2>/dev/null || true
    if [ -n "$wex_xvfb_pid" ]; then
        kill "$wex_xvfb_pid" 2>/dev/null || true
        wait "$wex_xvfb_pid" 2>/dev/null || true
    fi
}

wex_wine_up() {
    "$WEX_WINESERVER" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"

    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
    wex_xvfb_pid=$!
    for _ in $(seq 200); do [ -s "$fdfile" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"

    "$WEX_WINE" wineboot -i >/dev/null 2>&1
    "$WEX_WINESERVER" -w
    # Without a window manager, hiding a window blocks for seconds unless
    # Wine manages none of them.
    "$WEX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    "$WEX_WINESERVER" -w
    "$WEX_WINESERVER" -p
    # Start Wine's own system processes (services, explorer) now, with no
    # pipe of ours as their output: started by the first test instead, they
    # would inherit its output pipe and keep CTest waiting for ever.
    "$WEX_WINE" reg query 'HKCU\Software\Wine' </dev/null >/dev/null 2>&1 || true
}
