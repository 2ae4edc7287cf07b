# shellcheck shell=bash
# Sourced through scripts/common.sh: which Wine runs which build, and a fresh
# Wine prefix with an Xvfb screen and a persistent wineserver.
#
# Wexlib.dll ships as a 32-bit DLL and runs under 32-bit Wine, which needs a
# kernel that executes 32-bit code; the x64 build of the same sources runs
# under 64-bit Wine. Which of them run here is decided from what is
# installed when the question is asked, so ask it after set-up.
# WEXLIB_ARCH=win32 or win64 lets only that build run.
#
#   wex_wine_status ARCH   "runs", "not installed" or why that Wine cannot run
#   wex_arch_runs ARCH     true when this machine runs that build (and
#                          WEXLIB_ARCH lets it)
#   wex_arch_why_not ARCH  why it does not, as a sentence
#   wex_wine_use ARCH STATE
#                          Wine's environment for that build, its prefix and
#                          state (screen, env file) in folder STATE
#   wex_wine_up / wex_wine_down
#                          the fresh prefix, Xvfb and wineserver, and their
#                          end. wex_wine_up writes STATE/env, which a later
#                          process sources to run Wine there; what it starts
#                          holds none of the caller's output streams, so
#                          that a CTest fixture can start it and end.

wex_wine_loader() {
    case "$1" in
        win32) echo /usr/lib/wine/wine ;;
        win64) echo /usr/lib/wine/wine64 ;;
        *) echo "a build is win32 or win64, not $1" >&2; return 2 ;;
    esac
}

wex_wine_status() {
    local loader said
    loader=$(wex_wine_loader "$1")
    if [ ! -x "$loader" ]; then
        echo "not installed"
    elif said=$("$loader" --version 2>&1); then
        echo runs
    else
        # The loader's own complaint, such as "cannot execute binary file:
        # Exec format error" where the kernel runs no 32-bit code.
        echo "cannot run (${said##*: })"
    fi
}

wex_arch_runs() {
    [ -z "${WEXLIB_ARCH:-}" ] || [ "$WEXLIB_ARCH" = "$1" ] || return 1
    [ "$(wex_wine_status "$1")" = runs ]
}

wex_arch_why_not() {
    local status bits=64
    [ "$1" = win32 ] && bits=32
    if [ -n "${WEXLIB_ARCH:-}" ] && [ "$WEXLIB_ARCH" != "$1" ]; then
        echo "WEXLIB_ARCH=$WEXLIB_ARCH lets only the $WEXLIB_ARCH build run"
        return
    fi
    status=$(wex_wine_status "$1")
    case "$status" in
        runs) echo "$bits-bit Wine runs here" ;;
        "not installed") echo "$bits-bit Wine is not installed yet" ;;
        *) echo "$bits-bit Wine is installed but $status: this kernel executes no $bits-bit code" ;;
    esac
}

wex_wine_use() {
    local arch=$1 state=$2
    WEX_WINE=$(wex_wine_loader "$arch")
    case "$arch" in
        win32) WEX_WINESERVER=/usr/lib/wine/wineserver32 ;;
        win64) WEX_WINESERVER=/usr/lib/wine/wineserver64 ;;
    esac
    WEX_WINE_STATE=$state
    export WEX_ARCH=$arch WEX_WINE WEX_WINESERVER WEX_WINE_STATE
    export WINEARCH=$arch
    export WINELOADER=$WEX_WINE
    export WINESERVER=$WEX_WINESERVER
    export WINEDEBUG=-all
    export WINEPREFIX=$state/prefix
    export WINEDLLOVERRIDES="mscoree,mshtml="
    # A UTF-8 locale, or Wine cannot give a file a name that is not ASCII on
    # the Linux side; the prefix's ANSI code page stays 1252.
    export LC_ALL=C.UTF-8
}

wex_wine_down() {
    [ -n "${WEX_WINE_STATE:-}" ] || return 0
    "$WEX_WINESERVER" -k 2>/dev/null || true
    local pid_file=$WEX_WINE_STATE/xvfb.pid
    if [ -s "$pid_file" ]; then
        kill "$(cat "$pid_file")" 2>/dev/null || true
        rm -f "$pid_file"
    fi
    rm -f "$WEX_WINE_STATE/env"
}

wex_wine_up() {
    say "preparing a fresh $WEX_ARCH Wine prefix ($("$WEX_WINE" --version), ${WINEPREFIX#"$top"/}) and an Xvfb screen"
    wex_wine_down
    rm -rf "$WINEPREFIX" || return
    mkdir -p "$WEX_WINE_STATE" || return

    local display_file=$WEX_WINE_STATE/display
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" </dev/null >/dev/null 2>&1 &
    echo $! >"$WEX_WINE_STATE/xvfb.pid"
    for _ in $(seq 200); do [ -s "$display_file" ] && break; sleep 0.05; done
    [ -s "$display_file" ] || { echo "Xvfb did not start" >&2; return 1; }
    DISPLAY=":$(head -n1 "$display_file")"
    export DISPLAY

    # Each command returns on failure: a caller may run this where bash
    # ignores errexit.
    wex_talking "wineboot" wex_quiet "$WEX_WINE" wineboot -i || return
    "$WEX_WINESERVER" -w || return
    # Without a window manager, hiding a window blocks for seconds unless
    # Wine manages none of them.
    wex_quiet "$WEX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f || return
    "$WEX_WINESERVER" -w || return
    "$WEX_WINESERVER" -p </dev/null >/dev/null 2>&1 || return
    # Start Wine's own system processes (services, explorer) now, with no
    # stream of ours as their output: started by the first test instead, they
    # would inherit its output pipe and keep CTest waiting for ever.
    wex_quiet "$WEX_WINE" reg query 'HKCU\Software\Wine' </dev/null || true

    local name
    {
        for name in WEX_ARCH WEX_WINE WEX_WINESERVER WEX_WINE_STATE WINEARCH WINELOADER WINESERVER WINEDEBUG \
                    WINEPREFIX WINEDLLOVERRIDES LC_ALL DISPLAY; do
            printf 'export %s=%q\n' "$name" "${!name}"
        done
    } >"$WEX_WINE_STATE/env"
}
