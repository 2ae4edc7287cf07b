#!/usr/bin/env bash
# Every test: the scripts linted, the platform-free text cores natively
# under AddressSanitizer and UBSan and briefly under libFuzzer, the reference
# against the export table, both DLLs' tables, the Windows-side tests under
# Wine (through CTest, the NSIS installers among them) on every build that
# this machine runs, and the release archive built and checked
# (scripts/package.sh).
#
# Both builds are always built, with their installers: where a build cannot
# run here, its CTest cases that need no Wine still run (label "build") and
# the script says why the rest did not.
#
#   test.sh                 everything
#   test.sh CTEST-ARGS...   only the Windows-side CTest runs, with these
#                           arguments (test.sh -R itemfile, test.sh -L nsis)
source "$(dirname "$0")/common.sh"
# The top of the tree, set by common.sh (a shellcheck run that does not
# follow sources cannot see that).
: "${top:?}"
say "test command: set-up first; which builds run under Wine is decided once it is done"
wex_step "set-up" wex_setup test

builds=(win32 win64)
for arch in "${builds[@]}"; do say "$arch build: $(wex_arch_why_not "$arch")"; done

status=0
if [ $# -eq 0 ]; then
    wex_step "lint" "$top/scripts/lint.sh" || status=1
fi
# A build that fails leaves nothing to test.
for arch in "${builds[@]}"; do
    wex_step "$arch build" wex_build "$arch" || exit 1
done

if [ $# -eq 0 ]; then
    # A step: each command returns on failure (see wex_step).
    native() {
        say "building the text cores and their native tests (build/native)"
        cmake -S "$top" -B "$top/build/native" -DCMAKE_BUILD_TYPE=Debug \
              -DWEX_SHIPPED_DLL="$top/build/win32/bin/Wexlib.dll" -DWEX_X64_DLL="$top/build/win64/bin/Wexlib.dll" \
              >/dev/null || return
        cmake --build "$top/build/native" -j"$(nproc)" || return
        say "running the native tests"
        (cd "$top/build/native" && ctest --output-on-failure)
    }
    wex_step "native tests" native || status=1
    wex_step "fuzz smoke" "$top/scripts/fuzz.sh" --smoke || status=1
fi

run_cases() { (cd "$top/build/$1" && shift && "$@"); }
ran=()
for arch in "${builds[@]}"; do
    # CTest prepares the build's own Wine prefix (a fixture) when a case needs it.
    if wex_arch_runs "$arch"; then
        say "running the $arch build's CTest cases under $("$(wex_wine_loader "$arch")" --version)"
        cases=(ctest --output-on-failure -j2 "$@")
        ran+=("$arch")
    else
        say "the $arch build is not run here ($(wex_arch_why_not "$arch")): only its cases that need no Wine (label build)"
        cases=(ctest --output-on-failure -j2 -L build "$@")
    fi
    wex_step "$arch cases" wex_talking "the $arch cases" run_cases "$arch" "${cases[@]}" || status=1
done
say "Windows-side tests ran on: ${ran[*]:-no build}"

if [ $# -eq 0 ]; then
    wex_step "release archive" "$top/scripts/package.sh" || status=1
fi
wex_times
exit $status
