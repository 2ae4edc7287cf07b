#!/usr/bin/env bash
# The main job: set up, build Wexlib.dll, and run the provisioning script with
# the host under Wine, printing every call and its result.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" win32 >/dev/null
source "$top/scripts/wine-env.sh"
[ "$WEXLIB_ARCH" = win32 ] || "$top/scripts/build.sh" "$WEXLIB_ARCH" >/dev/null
trap wex_wine_down EXIT
wex_wine_up

echo "Wexlib.dll ($WEXLIB_ARCH build) under $("$WEX_WINE" --version)"
# The demo lives on drive C:, where the library's temporary files go too.
demo="$WINEPREFIX/drive_c/wexdemo"
mkdir -p "$demo/bin"
cp "$top/build/$WEXLIB_ARCH/bin/"*.exe "$top/build/$WEXLIB_ARCH/bin/Wexlib.dll" "$demo/bin/"
cp "$top/examples/provision.wex" "$demo/"
cd "$demo"
export WEXDEMO='C:\wexdemo'
"$WEX_WINE" 'C:\wexdemo\bin\wexhost.exe' provision.wex
