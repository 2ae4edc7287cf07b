# shellcheck shell=bash
# Sourced by every script that builds Wexlib or runs it under Wine: the one
# preamble they share. It says what it does at each step.
#
#   wex_setup PROFILE      installs what is missing (scripts/setup.sh main|test)
#   wex_build ARCH [--main]
#                          builds a Windows build (win32, win64) into
#                          build/ARCH; --main: only what the main job runs
#   wex_step LABEL CMD...  runs a step and says how long it took
#   wex_times              the steps' times so far, on one line
#
# and, from scripts/wine-env.sh, which Wine runs which build and a fresh
# prefix for it (wex_arch_runs, wex_wine_use, wex_wine_up, wex_wine_down).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export top

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

wex_now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Milliseconds as "12.3 s" or "2 min 5 s".
wex_duration() {
    local ms=$1
    if [ "$ms" -lt 60000 ]; then
        printf '%d.%d s' $((ms / 1000)) $((ms % 1000 / 100))
    else
        printf '%d min %d s' $((ms / 60000)) $((ms % 60000 / 1000))
    fi
}

wex_step_times=()
wex_started_ms=$(wex_now_ms)

# A step's command runs where bash ignores errexit (its status is taken):
# a function given as a step returns on each failure itself.
wex_step() {
    local label=$1 start rc=0 took
    shift
    start=$(wex_now_ms)
    "$@" || rc=$?
    took=$(wex_duration $(($(wex_now_ms) - start)))
    wex_step_times+=("$label $took")
    say "$label took $took"
    return "$rc"
}

wex_times() {
    local joined
    joined=$(printf '%s, ' "${wex_step_times[@]}")
    say "times: ${joined%, }; in all $(wex_duration $(($(wex_now_ms) - wex_started_ms)))"
}

wex_setup() { "$top/scripts/setup.sh" "$1"; }

wex_build() { "$top/scripts/build.sh" "$@"; }

# shellcheck source=scripts/wine-env.sh
source "$top/scripts/wine-env.sh"

# The demo's form server (tools/formserver) under Wine, answering COUNT posts
# on a free port of 127.0.0.1:
#   wex_start_form_server EXE FOLDER WINFOLDER COUNT IDLE_MS
# EXE is formserver.exe's Windows path, FOLDER the server's folder (port file,
# request log, output) and WINFOLDER the same folder as Windows names it.
# Sets wex_form_server_port and writes FOLDER/server.pid; wex_stop_form_server
# ends it (an EXIT trap).
wex_form_server_pid=""
wex_form_server_port=""
wex_start_form_server() {
    local exe=$1 folder=$2 winfolder=$3 count=$4 idle=$5
    mkdir -p "$folder"
    rm -f "$folder/port.txt" "$folder/requests.log"
    "$WEX_WINE" "$exe" --port-file "$winfolder\\port.txt" --log "$winfolder\\requests.log" --count "$count" \
        --idle-ms "$idle" </dev/null >"$folder/server.out" 2>&1 &
    wex_form_server_pid=$!
    echo "$wex_form_server_pid" >"$folder/server.pid"
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
