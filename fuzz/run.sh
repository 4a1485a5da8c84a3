#!/bin/sh
# Runs each libFuzzer target for a bounded time, one after the other.
#
#   fuzz/run.sh <build dir> <seconds per target>
#
# Each target starts from the committed corpus and the reproducers that pass,
# copied into a working corpus under <build dir>/fuzz-run/<target>/corpus that
# is kept from run to run (the committed corpus is never written). Crashes, hangs, leaks and
# sanitizer reports are saved under <build dir>/fuzz-run/<target>/artifacts/
# (inputs that only ran slowly are timed again and reported apart);
# the fuzzer's output is in <build dir>/fuzz-run/<target>/log. The exit status
# is 1 when any target found something.
#
# Environment: FUZZ_MAX_LEN (default 65536), FUZZ_TIMEOUT (seconds per input,
# default 10), FUZZ_TARGETS (default: every target).
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 <build dir> <seconds per target>" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
source_dir=$(cd "$(dirname "$0")" && pwd)
max_len=${FUZZ_MAX_LEN:-65536}
timeout=${FUZZ_TIMEOUT:-10}
targets=${FUZZ_TARGETS:-"trace_probe_fuzz conversion_fuzz ornfix_fuzz orn2pcapng_fuzz"}

# The targets write their scratch files under TMPDIR; memory is quickest.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    TMPDIR=/dev/shm
    export TMPDIR
fi

# Seconds one run of the target over an input takes.
time_run() {
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }"
}

found=0
for target in $targets; do
    binary=$build/fuzz/$target
    if [ ! -x "$binary" ]; then
        echo "run.sh: $binary is missing: build with -DORNPCAP_FUZZ=ON" >&2
        exit 2
    fi
    work=$build/fuzz-run/$target
    mkdir -p "$work/corpus" "$work/artifacts"
    cp "$source_dir/corpus/$target"/* "$work/corpus/"
    # Reproducers join the corpus once they pass; those that still fail are
    # reported here (and by the replay tests) but do not stop the run.
    for reproducer in "$source_dir/regressions/$target"/*; do
        [ -f "$reproducer" ] || continue
        if "$binary" "$reproducer" >/dev/null 2>&1; then
            cp "$reproducer" "$work/corpus/"
        else
            echo "   known failure still reproduces: $reproducer"
        fi
    done
    before=$(ls "$work/artifacts" | wc -l)

    echo "== $target: $seconds s, -max_len=$max_len, -timeout=$timeout"
    status=0
    "$binary" "$work/corpus" -max_total_time="$seconds" -max_len="$max_len" \
        -timeout="$timeout" -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
        >"$work/log" 2>&1 || status=$?

    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    corpus=$(ls "$work/corpus" | wc -l)
    echo "   executions: ${executions:-unknown}, working corpus: $corpus files"
    # libFuzzer keeps inputs that merely ran slowly (slow-unit-*) beside real
    # findings, and on a busy machine a slow input may even hit the timeout.
    # Each is timed again here: one that now runs well within the timeout is
    # reported as slow, not as a failure.
    findings=""
    fresh=$(( $(ls "$work/artifacts" | wc -l) - before ))
    for artifact in $(ls -t "$work/artifacts" | head -n "$fresh"); do
        case "$artifact" in
            slow-unit-*|timeout-*)
                took=$(time_run "$binary" "$work/artifacts/$artifact")
                if awk "BEGIN { exit !($took < $timeout / 2) }"; then
                    echo "   slow, not a failure (${took} s when run again): $work/artifacts/$artifact"
                else
                    findings="$findings $artifact"
                fi
                ;;
            *) findings="$findings $artifact" ;;
        esac
    done
    if [ "$status" -ne 0 ] && [ -z "$findings" ] && [ "$fresh" -gt 0 ] &&
        ! grep -q -E '^==[0-9]+==ERROR|runtime error|deadly signal' "$work/log"; then
        status=0  # the fuzzer stopped on a slow input alone
    fi
    if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
        found=1
        echo "   FOUND SOMETHING (exit status $status); new artifacts:"
        for artifact in $findings; do echo "     $work/artifacts/$artifact"; done
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$work/log" | head -n 5 | sed 's/^/     /'
        echo "   log: $work/log"
    else
        echo "   nothing found"
    fi
done
exit $found
