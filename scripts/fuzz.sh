#!/usr/bin/env bash
# Builds the text cores' libFuzzer targets (tests/fuzz) with clang into
# build/fuzz and runs them one after another.
#   fuzz.sh [SECONDS] [TARGET...]
#                       each target (all by default) for SECONDS (default
#                       60), from its checked-in corpus (tests/fuzz/corpus/<target>)
#   fuzz.sh --smoke     the test command's share: every checked-in input
#                       replayed, then each target for 20 seconds
# Prints each target's executions and final coverage. New inputs go to
# build/fuzz/corpus/<target>, never into the checked-in corpus; a finding
# fails the run and its input is kept under build/fuzz/findings.
source "$(dirname "$0")/common.sh"
# A campaign that runs beside the test command builds elsewhere:
# WEX_FUZZ_BUILD=build/fuzz-campaign scripts/fuzz.sh 600
build=$(realpath -m "${WEX_FUZZ_BUILD:-$top/build/fuzz}")
targets=(itemfile keytext formpost pattern perfdata multisz logtext logmask utf)

smoke=false
seconds=60
case "${1:-}" in
    --smoke) smoke=true; seconds=20; shift ;;
    "") ;;
    *[!0-9]*) echo "usage: fuzz.sh [SECONDS [TARGET...] | --smoke]" >&2; exit 2 ;;
    *) seconds=$1; shift ;;
esac
if [ $# -gt 0 ]; then
    for target in "$@"; do
        [[ " ${targets[*]} " == *" $target "* ]] || { echo "fuzz.sh: no target $target (${targets[*]})" >&2; exit 2; }
    done
    targets=("$@")
fi

echo "fuzz: building ${targets[*]/%/_fuzz} with clang into ${build#"$top"/}"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzz}" >/dev/null
mkdir -p "$build/logs" "$build/findings"

# What went wrong, from a libFuzzer log.
report() {
    grep -a -m1 -A25 -E '^==[0-9]+==ERROR|property broken|runtime error|Test unit written' "$1" ||
        tail -n 25 "$1"
}

status=0
for target in "${targets[@]}"; do
    program=$build/fuzz/${target}_fuzz
    seeds=$top/tests/fuzz/corpus/$target
    log=$build/logs/$target.log
    mkdir -p "$build/corpus/$target"

    if $smoke; then
        echo "fuzz: $target: replaying $(find "$seeds" -type f | wc -l) checked-in inputs"
        if ! "$program" "$seeds"/* >"$log" 2>&1; then
            echo "fuzz: $target: a checked-in input FAILS (log: $log)"
            report "$log"
            status=1
            continue
        fi
    fi

    echo "fuzz: $target: fuzzing for ${seconds}s"
    fuzz_target() {
        nice -n 10 "$program" -max_total_time="$seconds" -max_len=4096 -timeout=30 -print_final_stats=1 \
            -artifact_prefix="$build/findings/$target-" "$build/corpus/$target" "$seeds" >"$log" 2>&1
    }
    if wex_talking "fuzz: $target" fuzz_target; then
        runs=$(grep -aoE 'number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+$' || echo "?")
        coverage=$(grep -aE '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || echo "cov: ?")
        echo "fuzz: $target: $runs executions, $coverage"
    else
        echo "fuzz: $target: FINDING (log: $log)"
        report "$log"
        status=1
    fi
done
exit $status
