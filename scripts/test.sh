#!/usr/bin/env bash
# Every test: the platform-free text cores natively under AddressSanitizer and
# UBSan and briefly under libFuzzer (scripts/fuzz.sh --smoke), the shipped
# 32-bit DLL's export and import tables, and the Windows-side tests under Wine
# (through CTest).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" win32 >/dev/null
source "$top/scripts/wine-env.sh"
[ "$WEXLIB_ARCH" = win32 ] || "$top/scripts/build.sh" "$WEXLIB_ARCH" >/dev/null

cmake -S "$top" -B "$top/build/native" -DCMAKE_BUILD_TYPE=Debug \
      -DWEX_SHIPPED_DLL="$top/build/win32/bin/Wexlib.dll" >/dev/null
cmake --build "$top/build/native" -j"$(nproc)" >/dev/null

trap wex_wine_down EXIT
wex_wine_up

echo "Windows-side tests run on the $WEXLIB_ARCH build under $("$WEX_WINE" --version)"
status=0
(cd "$top/build/native" && ctest --output-on-failure) || status=1
"$top/scripts/fuzz.sh" --smoke || status=1
(cd "$top/build/$WEXLIB_ARCH" && ctest --output-on-failure -j2 "$@") || status=1
exit $status
