#!/usr/bin/env bash
# Builds the project and runs every test through ctest (GoogleTest units,
# fuzz corpus replays, tcltest files under Xvfb): first the plain build in
# build/, then a build with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan/ over the same tests; last a short libFuzzer run of every
# fuzz target over a scratch copy of its seed corpus (build-fuzz/, clang).
#
#   scripts/test.sh          both builds and the fuzz run
#   scripts/test.sh --fast   the plain build only
#
# Missing Debian packages are installed first (as root). The last line is
# "test.sh: N passed, N failed"; the exit status is non-zero on any failure,
# a failed configuration or build included.
set -u

usage() {
    echo "usage: scripts/test.sh [--fast]" >&2
    exit 2
}

fast=0
for arg in "$@"; do
    case $arg in
        --fast) fast=1 ;;
        *) usage ;;
    esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"

passed=0
failed=0

finish() {
    echo "test.sh: $passed passed, $failed failed"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
    exit $?
}

if ! vistel_ensure_packages; then
    echo "package installation failed" >&2
    failed=1
    finish
fi

# One virtual X server for the whole run; Xvfb picks a free display number
# itself and writes it to descriptor 3.
xvfb_pid=""
xvfb_dir=$(mktemp -d)
# shellcheck disable=SC2317  # called by the EXIT trap
stop_xvfb() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$xvfb_dir"
}
trap stop_xvfb EXIT
trap 'exit 130' INT TERM

start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$xvfb_dir/display" 2>"$xvfb_dir/log" </dev/null &
    xvfb_pid=$!
    local _
    for _ in $(seq 100); do
        if [ -s "$xvfb_dir/display" ]; then
            DISPLAY=":$(tr -d '[:space:]' <"$xvfb_dir/display")"
            export DISPLAY
            echo "Xvfb running on $DISPLAY"
            return 0
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "Xvfb did not start:" >&2
    cat "$xvfb_dir/log" >&2
    return 1
}

if ! start_xvfb; then
    failed=1
    finish
fi

# Configures, builds and tests one build directory; adds its counts to the
# totals. A failed configuration, build or ctest run counts as one failure.
run_build() {
    local dir=$1
    shift
    echo "==== $dir: configure"
    if ! cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"; then
        echo "==== $dir: configuration FAILED"
        failed=$((failed + 1))
        return
    fi
    echo "==== $dir: build"
    if ! cmake --build "$dir" -j2; then
        echo "==== $dir: build FAILED"
        failed=$((failed + 1))
        return
    fi
    echo "==== $dir: test"
    local log="$dir/ctest-summary.log"
    ctest --test-dir "$dir" --output-on-failure -j2 --timeout 600 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    # ctest closes with "NN% tests passed, F tests failed out of T".
    local counts
    counts=$(sed -n 's/.* \([0-9][0-9]*\) tests\{0,1\} failed out of \([0-9][0-9]*\).*/\1 \2/p' "$log" | tail -n 1)
    if [ -z "$counts" ]; then
        echo "==== $dir: ctest ran no test (exit $rc)"
        failed=$((failed + 1))
        return
    fi
    local f t
    read -r f t <<<"$counts"
    passed=$((passed + t - f))
    failed=$((failed + f))
    if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then
        echo "==== $dir: ctest exited with $rc"
        failed=$((failed + 1))
    fi
    echo "==== $dir: passed $((t - f)) of $t"
}

# Seconds each fuzz target runs; inputs slower than fuzz_timeout seconds
# count as hangs.
fuzz_seconds=30
fuzz_timeout=10

# Runs one libFuzzer target over a scratch copy of its seed corpus, so that
# the inputs it finds never land in the tree. A crash, leak, sanitizer
# report or hang makes the target exit non-zero and counts as one failure.
run_fuzz_target() {
    local name=$1 work=$2
    local corpus="$work/corpus-$name" artifacts="$work/artifacts-$name/"
    mkdir -p "$corpus" "$artifacts"
    cp fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null
    local log="$work/$name.log"
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "build-fuzz/fuzz/fuzz_$name" -max_total_time=$fuzz_seconds -rss_limit_mb=2048 \
        -timeout=$fuzz_timeout -print_final_stats=1 -artifact_prefix="$artifacts" \
        "$corpus" >"$log" 2>&1
    local rc=$?
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$rc" -eq 0 ]; then
        echo "==== fuzz_$name: ${runs:-?} inputs, no crash"
        passed=$((passed + 1))
    else
        echo "==== fuzz_$name: FAILED after ${runs:-?} inputs (exit $rc); inputs in $artifacts"
        ls "$artifacts"
        tail -n 40 "$log"
        failed=$((failed + 1))
    fi
}

# Builds the libFuzzer targets with clang and runs each briefly.
run_fuzz() {
    echo "==== build-fuzz: configure"
    if ! CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DVISTEL_FUZZ=ON -DVISTEL_TESTS=OFF; then
        echo "==== build-fuzz: configuration FAILED"
        failed=$((failed + 1))
        return
    fi
    local names=() src
    for src in fuzz/fuzz_*.cpp; do
        src=${src##*/fuzz_}
        names+=("${src%.cpp}")
    done
    echo "==== build-fuzz: build"
    if ! cmake --build build-fuzz -j2 --target "${names[@]/#/fuzz_}"; then
        echo "==== build-fuzz: build FAILED"
        failed=$((failed + 1))
        return
    fi
    local work name
    work=$(mktemp -d)
    for name in "${names[@]}"; do
        run_fuzz_target "$name" "$work"
    done
    # Crash inputs are kept for a failed run; a clean run leaves nothing.
    if [ "$failed" -eq 0 ]; then rm -rf "$work"; fi
}

run_build build -DVISTEL_SANITIZE=OFF -DVISTEL_TESTS=ON
if [ "$fast" -eq 0 ]; then
    run_build build-asan -DVISTEL_SANITIZE=ON -DVISTEL_TESTS=ON
    if command -v clang++ >/dev/null 2>&1; then
        run_fuzz
    else
        echo "==== build-fuzz: clang++ missing"
        failed=$((failed + 1))
    fi
fi
finish
