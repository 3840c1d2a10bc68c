#!/usr/bin/env bash
# A longer run of tests/tcl/stress.test (random photo operations) in the
# sanitizer build: SEEDS runs of STEPS steps each, every seed a run of its
# own so that a failure names the seed that repeats it
# (VISTEL_STRESS_SEED=N VISTEL_STRESS_STEPS=M with ctest -R tcl.stress).
#
#   scripts/stress.sh [SEEDS [STEPS]]     default: 20 seeds of 5000 steps
#
# Builds build-asan/ (as scripts/test.sh does) when needed. The last line is
# "stress.sh: N passed, N failed"; the exit status is non-zero on a failure.
set -u

seeds=${1:-20}
steps=${2:-5000}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"
vistel_ensure_packages || exit 1

build=build-asan
if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTEL_SANITIZE=ON \
        -DVISTEL_TESTS=ON >/dev/null || ! cmake --build "$build" -j2 --target tkvistel >/dev/null; then
    echo "stress.sh: 0 passed, 1 failed (build)"
    exit 1
fi

passed=0
failed=0
for seed in $(seq "$seeds"); do
    log="$build/stress-$seed.log"
    if VISTEL_STRESS_SEED=$seed VISTEL_STRESS_STEPS=$steps \
            ctest --test-dir "$build" -R '^tcl\.stress$' --output-on-failure >"$log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "seed $seed FAILED, see $log"
    fi
done
echo "stress.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
