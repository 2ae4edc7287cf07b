#!/usr/bin/env bash
# Times the item file exports of Wexlib.dll on a 1 MiB item file next to the
# same work through the C runtime and through the profile API, under Wine,
# and prints the table. A benchmark: the targets it prints are for reading,
# and it succeeds whether they hold or not.
source "$(dirname "$0")/common.sh"
wex_explain_archs
arch=$(wex_wine_arch)
wex_prepare "$arch"
wex_wine_use "$arch"
trap wex_wine_down EXIT
wex_wine_up

# The program and the DLL run from drive C:, whose root takes the C
# runtime's temporary files (Wine's Z: is the Linux root).
bench="$WINEPREFIX/drive_c/wexbench"
mkdir -p "$bench"
cp "$top/build/$arch/bin/itembench.exe" "$top/build/$arch/bin/Wexlib.dll" "$bench/"
say "timing the item file exports (about a minute)"
cd "$bench"
run_bench() { "$WEX_WINE" 'C:\wexbench\itembench.exe' "$@" </dev/null | tr -d '\r'; }
wex_talking "the benchmark" run_bench "$@"
