#!/usr/bin/env bash
# The find window under 100,000 matches: builds a Release tree in build/findwnd-bench,
# generates a synthetic catalogue with `catgen synth` (kept under build/) and runs
# findwnd_bench on it (offscreen unless a display is set).
#   bench/findwnd_bench.sh [objects]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/findwnd-bench
objects=${1:-100000}
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
"$build/bench/findwnd_bench" "$catalogue"
