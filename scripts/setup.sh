#!/usr/bin/env bash
# Installs what a command needs on Debian 12, and nothing that is there
# already.
#   setup.sh main   the main job: the 32-bit mingw-w64 cross compiler, 32-bit
#                   Wine, Xvfb, CMake, and Python 3 with openssl for its HTTPS
#                   server and certificates; where 32-bit Wine cannot run once it is
#                   installed (a kernel without 32-bit code), also the x64
#                   cross compiler and 64-bit Wine, which then run the demo
#   setup.sh test   everything the test command needs (the default): both
#                   cross compilers and both Wines, the native compiler and
#                   GoogleTest's sources, clang with its runtime libraries
#                   (fuzz targets), llvm-14 (llvm-dlltool writes the
#                   Microsoft-format import libraries), NSIS, zip and unzip
#                   (the release archive), git and shellcheck
# Only the -posix compilers are installed: the toolchain files use them, and
# the win32-thread-model twins would double the download.
set -euo pipefail
profile=${1:-test}

base=(g++-mingw-w64-i686-posix wine32:i386 xvfb cmake make python3 openssl)
x64=(g++-mingw-w64-x86-64-posix wine64)
test_only=(g++ googletest clang libclang-rt-14-dev llvm-14 nsis zip unzip git shellcheck)

say() { printf '==> set-up: %s\n' "$*"; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
updated=false

install_missing() {
    local p missing=()
    for p in "$@"; do installed "$p" || missing+=("$p"); done
    if [ ${#missing[@]} -eq 0 ]; then
        say "all $# packages needed here are installed"
        return
    fi
    say "installing ${missing[*]} (Debian packages; a first set-up takes some minutes)"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        say "adding the i386 architecture (for 32-bit Wine)"
        "${as_root[@]}" dpkg --add-architecture i386
        updated=false
    fi
    if ! $updated; then
        say "apt-get update"
        "${as_root[@]}" apt-get update -q
        updated=true
    fi
    # One line per package as apt takes it, so that a long install never sits
    # silent.
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" |
        grep --line-buffered -E '^(Get|Unpacking|Setting up)' || true
    for p in "${missing[@]}"; do
        installed "$p" || { say "$p did not install" >&2; exit 1; }
    done
}

case "$profile" in
    main)
        install_missing "${base[@]}"
        # Decided from what is installed now: the x64 build runs the demo only
        # where the 32-bit Wine just installed cannot run.
        if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
            say "32-bit Wine is installed but cannot run here: adding the x64 compiler and 64-bit Wine"
            install_missing "${x64[@]}"
        fi
        ;;
    test) install_missing "${base[@]}" "${x64[@]}" "${test_only[@]}" ;;
    *) echo "usage: setup.sh [main|test]" >&2; exit 2 ;;
esac
say "done"
