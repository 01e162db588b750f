#!/usr/bin/env bash
# The find window under 100,000 matches: builds a Release tree in build/findwnd-bench
# (FINDWND_BENCH_BUILD names another tree configured with the GUI and benchmarks on),
# generates a synthetic catalogue with `catgen synth` (kept under build/) and runs
# findwnd_bench on it (offscreen unless a display is set), RUNS times (default 3) with the
# snapshot's passes and as many walking the object lists (--walk, the search as it was
# before the passes), alternating, so both see the same load.
#   bench/findwnd_bench.sh [objects]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FINDWND_BENCH_BUILD:-build/findwnd-bench}
objects=${1:-100000}
runs=${RUNS:-3}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARROW_BUILD_GUI=ON \
        -DQUARROW_BUILD_TESTS=OFF -DQUARROW_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" -j2 --target catgen findwnd_bench >/dev/null
catalogue="$PWD/$build/synth-$objects.qcat"
if [ ! -f "$catalogue" ]; then
    "$build/tools/catgen/catgen" synth "$catalogue" --objects "$objects" --databases 4 \
        --script-bytes 200
fi
for ((round = 1; round <= runs; round++)); do
    for mode in --walk ""; do
        echo "== round $round ${mode:-(passes)}"
        "$build/bench/findwnd_bench" $mode "$catalogue"
    done
done
