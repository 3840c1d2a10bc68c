#!/usr/bin/env bash
# Runs the benchmark suite and prints one table of medians and ratios against
# the targets (PASS/FAIL per row): C++ decode, encode and transform benchmarks
# against plain libpng, libjpeg, giflib and memcpy and against Pillow's
# resize; Tcl photo reads and writes against Tk's own and Img's formats; the
# GIF writer against Pillow and Tk; a JPEG read at 1/8 scale against the full
# read, and a thumbnail made so against Pillow's thumbnail(); the animated
# GIF against Tk-only frame cycling; peak memory of a PNG read.
#
#   scripts/bench.sh
#
# Environment:
#   BENCH_QUICK=1       small pictures, 3 runs, 2 s of animation (development)
#   BENCH_RUNS=N        runs of each compared case (default 5)
#   BENCH_ANIM_SECONDS  seconds the animation plays per run (default 10)
#
# Builds in build-bench/ (Release, -DVISTEL_BENCH=ON); inputs and outputs go
# to build-bench/bench-run/. The table is also left in
# build-bench/bench-run/table.md. Installs the packages it needs when missing
# (as root): those of the project, and for the benchmarks only Google
# Benchmark, giflib, Img and Pillow.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"
VISTEL_PACKAGES+=(libbenchmark-dev libgif-dev libtk-img python3-pil)
vistel_ensure_packages

quick=${BENCH_QUICK:-0}
if [ "$quick" = 1 ]; then
    runs=${BENCH_RUNS:-3}
    anim_seconds=${BENCH_ANIM_SECONDS:-2}
    sizes=(800 600 200 200 480 360 100)
else
    runs=${BENCH_RUNS:-5}
    anim_seconds=${BENCH_ANIM_SECONDS:-10}
    sizes=(4000 3000 1000 1000 480 360 100)
fi
python=/usr/bin/python3  # Debian's, which has python3-pil

build="$root/build-bench"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVISTEL_BENCH=ON -DVISTEL_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_inputs codec_bench tkvistel >/dev/null

run="$build/bench-run"
inputs="$run/inputs"
scratch="$run/scratch"
mkdir -p "$inputs" "$scratch"

# Inputs are made again when the sizes change or the generator was rebuilt
# (a codec that has landed then writes its own files).
stamp="$inputs/stamp"
want="${sizes[*]}"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ] || [ "$build/bench/bench_inputs" -nt "$stamp" ]; then
    echo "bench.sh: generating inputs (${sizes[0]}×${sizes[1]}, ${sizes[2]}×${sizes[3]}, ${sizes[6]} frames)" >&2
    rm -f "$inputs"/*
    "$build/bench/bench_inputs" "$inputs" "${sizes[@]}"
    "$python" bench/pillow_inputs.py "$inputs" >/dev/null
    echo "$want" >"$stamp"
fi
made_by_pillow=$(wc -l <"$inputs/pending.txt")

results="$run/results.txt"
: >"$results"
export BENCH_INPUTS="$inputs" BENCH_SCRATCH="$scratch" BENCH_RUNS="$runs"
export TKVISTEL_LIBDIR="$build" BENCH_PYTHON="$python"

echo "bench.sh: C++ benchmarks, $runs interleaved runs each" >&2
"$build/bench/codec_bench" --benchmark_repetitions="$runs" \
    --benchmark_enable_random_interleaving=true --benchmark_min_time=0.1 \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$run/codec.json" --benchmark_out_format=json >"$run/codec.txt" 2>&1 ||
    echo "bench.sh: codec_bench failed, see $run/codec.txt" >&2

echo "bench.sh: resampling against Pillow" >&2
read -r shrink_w shrink_h < <(awk '$1 == "shrink" { print $2, $3 }' "$inputs/sizes.txt")
"$python" bench/pillow_resample.py "$inputs/big.rgb" "${sizes[0]}" "${sizes[1]}" \
    "$shrink_w" "$shrink_h" "$runs" "$build/bench/codec_bench" >>"$results" ||
    echo "bench.sh: the Pillow comparison failed" >&2

# A failed part leaves its rows "n/a" and the run goes on.
tcl() {
    xvfb-run -a -s "-screen 0 1024x768x24" tclsh bench/photo_bench.tcl "$@" >>"$results" ||
        echo "bench.sh: photo_bench.tcl $* failed" >&2
}

echo "bench.sh: photo reads and writes against Tk and Img" >&2
tcl pairs tk
tcl pairs img

# The same reads with malloc keeping all freed memory for reuse, as a
# long-running application's heap often does: fresh pages (whose first
# touch is slow on virtual machines) then play no part, and the times are
# the readers' own work.
echo "bench.sh: the GIF writer against Pillow and Tk" >&2
tcl gif

echo "bench.sh: photo reads again on a warm heap" >&2
warm_heap="glibc.malloc.mmap_threshold=4294967295:glibc.malloc.trim_threshold=4294967295"
GLIBC_TUNABLES=$warm_heap tcl warm tk
GLIBC_TUNABLES=$warm_heap tcl warm img

echo "bench.sh: animation, $runs × 2 runs of $anim_seconds s" >&2
for file in anim.gif anim_td.gif; do
    for _ in $(seq "$runs"); do
        tcl anim vistel "$anim_seconds" "$file"
        tcl anim tk "$anim_seconds" "$file"
    done
done

echo "bench.sh: peak memory of a PNG read" >&2
for _ in $(seq "$runs"); do
    tcl mem vistel
    tcl mem tk
done

echo "bench.sh: hostile inputs, one process each" >&2
for name in $(xvfb-run -a tclsh bench/photo_bench.tcl names); do
    tcl hostile "$name"
done

{
    echo "Inputs: ${sizes[0]}×${sizes[1]} and ${sizes[2]}×${sizes[3]} pictures, a ${sizes[6]}-frame" \
        "${sizes[4]}×${sizes[5]} GIF; $made_by_pillow of the input files written by Pillow" \
        "(no encoder of ours for them in this build). Medians of $runs interleaved runs."
    echo
    "$python" bench/report.py "$inputs/sizes.txt" "$run/codec.json" "$results"
} | tee "$run/table.md"
