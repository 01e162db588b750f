#!/usr/bin/env bash
# Command-line search against ripgrep, side by side in one run:
#   quarrow-find -t WORD over a synthetic catalogue, and rg -F -i -c WORD over the same
#   scripts written out one file per object. Prints wall time and peak memory of each.
#   bench/find_bench.sh [objects] [mean script bytes]     (default 100000 2100: ~210 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
objects=${1:-100000}
bytes=${2:-2100}
build=build/snapshot-bench
data=$build/bench-data
word=reconcileledger

command -v rg >/dev/null || { echo "find_bench: install ripgrep (tools/install-deps --bench)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "find_bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 2; }
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARROW_BUILD_GUI=OFF \
        -DQUARROW_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target quarrow-find catgen -j2 >/dev/null

mkdir -p "$data"
catalogue=$data/synthetic-$objects-$bytes.qcat
files=$data/scripts-$objects-$bytes
if [ ! -f "$catalogue" ]; then
    "$build/tools/catgen/catgen" synth "$catalogue" --objects "$objects" --script-bytes "$bytes" \
        --databases 20
fi
if [ ! -d "$files" ]; then
    "$build/tools/catgen/catgen" dump "$catalogue" "$files.part" && mv "$files.part" "$files"
fi
script_mb=$(du -sm --apparent-size "$files" | cut -f1)
echo "catalogue: $objects objects, $script_mb MB of script text ($(du -m "$catalogue" | cut -f1) MB file)"

measure() { # label, command...
    local label=$1; shift
    # Warm the page cache so both read from memory.
    "$@" >/dev/null 2>&1 || true
    /usr/bin/time -v "$@" >/dev/null 2>"$data/time.txt" || true
    local wall rss
    wall=$(grep 'Elapsed (wall clock)' "$data/time.txt" | awk '{print $NF}')
    rss=$(grep 'Maximum resident set size' "$data/time.txt" | awk '{print $NF}')
    printf '%-14s wall %8s   peak RSS %6d MB\n' "$label" "$wall" $((rss / 1024))
}
count=$("$build/cli/quarrow-find" -q -S "$(realpath "$catalogue")" -t "$word" | wc -l)
echo "objects found by quarrow-find: $count"
measure quarrow-find "$build/cli/quarrow-find" -q -S "$(realpath "$catalogue")" -t "$word"
measure "rg -F -i -c" rg -F -i -c "$word" "$files"
