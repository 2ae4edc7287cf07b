# Sourced through scripts/common.sh: which Wine runs which build, one fresh
# Wine prefix per run, an Xvfb display for message boxes and windows, and a
# persistent wineserver. Everything started here is stopped by wex_wine_down
# (set as an EXIT trap).
#
# Wexlib.dll ships as a 32-bit DLL and is tested under 32-bit Wine where the
# kernel can execute 32-bit code. Some kernels cannot (no IA-32 emulation):
# 32-bit Wine then fails with "Exec format error". The x64 build of the same
# sources is tested under 64-bit Wine on every machine. WEXLIB_ARCH=win32 or
# win64 restricts a run to that build.

wex_xvfb_pid=""

wex_wine32_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

# Prints why this machine runs the builds it runs.
wex_explain_archs() {
    if [ -n "${WEXLIB_ARCH:-}" ]; then
        say "WEXLIB_ARCH=$WEXLIB_ARCH: only the $WEXLIB_ARCH build runs under Wine"
    elif wex_wine32_runs; then
        say "32-bit Wine runs here: the shipped x86 build runs under it, the x64 build under 64-bit Wine"
    else
        say "32-bit Wine cannot run here (this kernel executes no 32-bit code: \"Exec format error\"):" \
            "the x64 build runs under 64-bit Wine"
    fi
}

wex_wine_arch() {
    if [ -n "${WEXLIB_ARCH:-}" ]; then echo "$WEXLIB_ARCH"
    elif wex_wine32_runs; then echo win32
    else echo win64; fi
}

wex_test_archs() {
    if [ -n "${WEXLIB_ARCH:-}" ]; then echo "$WEXLIB_ARCH"
    elif wex_wine32_runs; then echo "win32 win64"
    else echo win64; fi
}

wex_wine_use() {
    case "$1" in
        win32) WEX_WINE=/usr/lib/wine/wine; WEX_WINESERVER=/usr/lib/wine/wineserver32 ;;
        win64) WEX_WINE=/usr/lib/wine/wine64; WEX_WINESERVER=/usr/lib/wine/wineserver64 ;;
        *) echo "a build is win32 or win64, not $1" >&2; return 2 ;;
    esac
    export WEX_ARCH=$1 WEX_WINE WEX_WINESERVER
    export WINEARCH=$1
    export WINELOADER=$WEX_WINE
    export WINESERVER=$WEX_WINESERVER
    export WINEDEBUG=-all
    export WINEPREFIX="${WEXLIB_WINEPREFIX:-$top/build/wineprefix-$1}"
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

wex_wine_down() {
    [ -n "${WEX_WINESERVER:-}" ] && { "$WEX_WINESERVER" -k 2>/dev/null || true; }
    if [ -n "$wex_xvfb_pid" ]; then
        kill "$wex_xvfb_pid" 2>/dev/null || true
        wait "$wex_xvfb_pid" 2>/dev/null || true
        wex_xvfb_pid=""
    fi
}

wex_wine_up() {
    say "preparing a fresh $WEX_ARCH Wine prefix ($(${WEX_WINE} --version), ${WINEPREFIX#$top/}) and an Xvfb screen"
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

    wex_talking "wineboot" wex_quiet "$WEX_WINE" wineboot -i
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
