#!/usr/bin/env bash
# Times the item file exports of Wexlib.dll on a 1 MiB item file next to the
# same work through the C runtime and through the profile API, under Wine,
# and prints the table. A benchmark: the targets it prints are for reading,
# and it succeeds whether they hold or not.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
source "$top/scripts/wine-env.sh"
"$top/scripts/build.sh" "$WEXLIB_ARCH" >/dev/null
trap wex_wine_down EXIT
wex_wine_up

# The program and the DLL run from drive C:, whose root takes the C
# runtime's temporary files (Wine's Z: is the Linux root).
bench="$WINEPREFIX/drive_c/wexbench"
mkdir -p "$bench"
cp "$top/build/$WEXLIB_ARCH/bin/itembench.exe" "$top/build/$WEXLIB_ARCH/bin/Wexlib.dll" "$bench/"
cd "$bench"
"$WEX_WINE" 'C:\wexbench\itembench.exe' "$@" </dev/null | tr -d '\r'
