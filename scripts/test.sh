#!/usr/bin/env bash
# Every test: the platform-free text cores natively under AddressSanitizer and
# UBSan and briefly under libFuzzer, the reference against the export table,
# both DLLs' tables, the Windows-side tests under Wine (through CTest) on
# every build that Wine runs here, the NSIS example installer built and run
# (scripts/nsis-test.sh) and the release archive built and checked
# (scripts/package.sh). Arguments go to the Windows-side CTest runs
# (scripts/test.sh -R itemfile); with them, the installer and the archive
# are left out.
source "$(dirname "$0")/common.sh"
wex_explain_archs
archs=$(wex_test_archs)
# Both builds are always made: their DLLs' tables are checked natively.
wex_prepare win32 win64

say "building the text cores and their native tests (build/native)"
cmake -S "$top" -B "$top/build/native" -DCMAKE_BUILD_TYPE=Debug \
      -DWEX_SHIPPED_DLL="$top/build/win32/bin/Wexlib.dll" -DWEX_X64_DLL="$top/build/win64/bin/Wexlib.dll" >/dev/null
cmake --build "$top/build/native" -j"$(nproc)"

status=0
say "running the native tests"
(cd "$top/build/native" && ctest --output-on-failure) || status=1
"$top/scripts/fuzz.sh" --smoke || status=1

trap wex_wine_down EXIT
for arch in $archs; do
    wex_wine_use "$arch"
    wex_wine_up
    say "running the Windows-side tests on the $arch build under $("$WEX_WINE" --version)"
    (cd "$top/build/$arch" && wex_talking "the $arch tests" ctest --output-on-failure -j2 "$@") || status=1
    wex_wine_down
done
say "Windows-side tests ran on: $archs"
if [ $# -eq 0 ]; then
    say "the NSIS example installer, built with the include file and run silently"
    "$top/scripts/nsis-test.sh" || status=1
    say "the release archive"
    "$top/scripts/package.sh" || status=1
fi
exit $status
