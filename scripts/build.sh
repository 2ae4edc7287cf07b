#!/usr/bin/env bash
# Cross-builds Wexlib.dll, its host, helpers and Windows-side tests.
#   build.sh win32 [--main]   the shipped 32-bit DLL, into build/win32 (the default)
#   build.sh win64 [--main]   the same sources for 64-bit Windows, into build/win64
# --main builds only what the main job runs (the DLL, the host and its
# helper programs), with no tests, so that it needs none of the test
# command's packages; a build folder switches between the two as asked.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-win32}
case "$arch" in
    win32) toolchain=mingw-i686 ;;
    win64) toolchain=mingw-x86_64 ;;
    *) echo "usage: build.sh [win32|win64] [--main]" >&2; exit 2 ;;
esac
testing=ON
targets=()
what=""
if [ "${2:-}" = --main ]; then
    testing=OFF
    targets=(--target Wexlib wexhost formserver testservice wexwin makekeys rootstore)
    what=": the DLL and the main job's programs"
fi
echo "==> building the $arch build (build/$arch)$what"
cmake -S "$top" -B "$top/build/$arch" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING="$testing" >/dev/null
# Its progress (a line per object and target) and any error show as they come.
cmake --build "$top/build/$arch" -j"$(nproc)" "${targets[@]}"
