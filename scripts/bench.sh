#!/usr/bin/env bash
# Times the item file exports of Wexlib.dll on a 1 MiB item file next to the
# same work through the C runtime, through the profile API and through the
# bare system calls (the raw floors: one ReadFile and a search; read, one
# write, flush, rename), then GetFileItem and SetFileItem on a 60-line file
# next to its raw floors, under Wine, and prints the per-call figures. A
# benchmark: the targets it prints are for reading, and it succeeds whether
# they hold or not. It runs the shipped x86 build where 32-bit Wine runs, else
# the x64 build. The machine's load at the start is printed with the figures.
source "$(dirname "$0")/common.sh"
# The top of the tree, set by common.sh (a shellcheck run that does not
# follow sources cannot see that).
: "${top:?}"
wex_setup test
if wex_arch_runs win32; then arch=win32; else arch=win64; fi
say "benchmark on the $arch build (win32: $(wex_arch_why_not win32))"
wex_build "$arch"
wex_wine_use "$arch" "$top/build/wine-bench-$arch"
trap wex_wine_down EXIT
wex_wine_up

# The program and the DLL run from drive C:, whose root takes the C
# runtime's temporary files (Wine's Z: is the Linux root).
bench="$WINEPREFIX/drive_c/wexbench"
mkdir -p "$bench"
cp "$top/build/$arch/bin/itembench.exe" "$top/build/$arch/bin/Wexlib.dll" "$bench/"
say "timing the item file exports (about a minute); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
cd "$bench" || exit
run_bench() { "$WEX_WINE" 'C:\wexbench\itembench.exe' "$@" </dev/null | tr -d '\r'; }
wex_talking "the benchmark" run_bench "$@"
