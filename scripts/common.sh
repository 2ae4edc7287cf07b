# Sourced by every script that builds Wexlib or runs it under Wine: the one
# preamble they share. It says what it does at each step.
#
#   wex_prepare [ARCH...]  installs what is missing (scripts/setup.sh), then
#                          builds each Windows build named (win32, win64)
#
# and, from scripts/wine-env.sh, choosing and running Wine:
#
#   wex_wine_arch          the build that Wine runs here when one is enough
#   wex_test_archs         every build that the tests run here
#   wex_wine_use ARCH      Wine's environment for that build
#   wex_wine_up / wex_wine_down   a fresh prefix, Xvfb and a wineserver
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

say() { printf '==> %s\n' "$*"; }

# A command with its output thrown away.
wex_quiet() { "$@" >/dev/null 2>&1; }

# Runs a command that may take a while, saying every ten seconds that it
# still runs; returns its exit code.
wex_talking() {
    local label=$1
    shift
    "$@" &
    local pid=$! seconds=0
    while kill -0 "$pid" 2>/dev/null; do
        sleep 1
        seconds=$((seconds + 1))
        if [ $((seconds % 10)) -eq 0 ] && kill -0 "$pid" 2>/dev/null; then say "$label: still running (${seconds} s)"; fi
    done
    wait "$pid"
}

source "$top/scripts/wine-env.sh"

# The demo's form server (tools/formserver) under Wine, answering COUNT posts
# on a free port of 127.0.0.1:
#   wex_start_form_server EXE FOLDER WINFOLDER COUNT IDLE_MS
# EXE is formserver.exe's Windows path, FOLDER the server's folder (port file,
# request log, output) and WINFOLDER the same folder as Windows names it.
# Sets wex_form_server_port; wex_stop_form_server ends it (an EXIT trap).
wex_form_server_pid=""
wex_start_form_server() {
    local exe=$1 folder=$2 winfolder=$3 count=$4 idle=$5
    mkdir -p "$folder"
    rm -f "$folder/port.txt" "$folder/requests.log"
    "$WEX_WINE" "$exe" --port-file "$winfolder\\port.txt" --log "$winfolder\\requests.log" --count "$count" \
        --idle-ms "$idle" </dev/null >"$folder/server.out" 2>&1 &
    wex_form_server_pid=$!
    for _ in $(seq 300); do
        [ -s "$folder/port.txt" ] && break
        kill -0 "$wex_form_server_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$folder/port.txt" ]; then
        echo "the form server did not start:" >&2
        cat "$folder/server.out" >&2
        return 1
    fi
    wex_form_server_port=$(tr -d '\r\n' <"$folder/port.txt")
    say "form server listening on 127.0.0.1:$wex_form_server_port"
}

wex_stop_form_server() {
    if [ -n "$wex_form_server_pid" ]; then
        kill "$wex_form_server_pid" 2>/dev/null || true
        wait "$wex_form_server_pid" 2>/dev/null || true
        wex_form_server_pid=""
    fi
}

wex_prepare() {
    "$top/scripts/setup.sh"
    local arch
    for arch in "$@"; do
        say "building the $arch build (build/$arch)"
        "$top/scripts/build.sh" "$arch"
    done
}
