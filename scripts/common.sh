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

wex_prepare() {
    "$top/scripts/setup.sh"
    local arch
    for arch in "$@"; do
        say "building the $arch build (build/$arch)"
        "$top/scripts/build.sh" "$arch"
    done
}
