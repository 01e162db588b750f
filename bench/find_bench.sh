#!/usr/bin/env bash
# Command-line search against ripgrep, side by side in one run: quarrow-find over a synthetic
# catalogue, and rg over the same scripts written out one file per object. Every command runs
# once to warm the page cache, then RUNS rounds in turn (so load from others spreads evenly);
# the script prints the median wall time, CPU time (user + system) and peak RSS of each, and
# its ratio to `rg -F -i -c WORD`.
#   bench/find_bench.sh [objects] [mean script bytes]     (default 100000 2100: ~215 MB)
# Environment: RUNS (default 5); BASE_FIND, another quarrow-find to time beside this one
# (e.g. a build of an older commit), shown as "before".
set -euo pipefail
cd "$(dirname "$0")/.."
objects=${1:-100000}
bytes=${2:-2100}
runs=${RUNS:-5}
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
catalogue=$(realpath -m "$data/synthetic-$objects-$bytes.qcat")
files=$data/scripts-$objects-$bytes
if [ ! -f "$catalogue" ]; then
    "$build/tools/catgen/catgen" synth "$catalogue" --objects "$objects" --script-bytes "$bytes" \
        --databases 20
fi
if [ ! -d "$files" ]; then
    "$build/tools/catgen/catgen" dump "$catalogue" "$files.part" && mv "$files.part" "$files"
fi
script_mb=$(du -sm --apparent-size "$files" | cut -f1)
echo "catalogue: $objects objects, $script_mb MB of script text ($(du -m "$catalogue" | cut -f1) MB file); $(nproc) cores; $runs rounds"

find=$build/cli/quarrow-find
qf() { "$find" -q -S "$catalogue" "$@"; }
name=$(qf -t "$word" | awk -F "\t" "NR == 1 { print \$4 }")

# "label => command", run through bash; the rg reference comes first.
commands=(
    "rg -F -i -c WORD => rg -F -i -c $word $files"
    "quarrow-find -t WORD => qf -t $word"
    "rg -F -c WORD => rg -F -c ReconcileLedger $files"
    "quarrow-find -c -t WORD => qf -c -t ReconcileLedger"
    "quarrow-find -n NAME => qf -n $name"
    "quarrow-find --size-at-least 3600 => qf --size-at-least 3600"
    "quarrow-find --created-after 2023-01-01 => qf --created-after 2023-01-01"
)
if [ -n "${BASE_FIND:-}" ]; then
    commands+=(
        "before: quarrow-find -t WORD => $BASE_FIND -q -S $catalogue -t $word"
        "before: quarrow-find -n NAME => $BASE_FIND -q -S $catalogue -n $name"
    )
fi
# The regular expressions of bench/regex_bench; rg writes \< \> as \b.
patterns=('Invoice' 'invoice' '^sp_' '\<Invoice\>' 'DELETE|TRUNCATE|MERGE' '[0-9]+' 'foo.*bar')
for p in "${patterns[@]}"; do
    rp=${p//\\</\\b}
    rp=${rp//\\>/\\b}
    commands+=("rg -i -c '$rp' => rg -i -c '$rp' $files" "quarrow-find -E -t '$p' => qf -E -t '$p'")
done

export -f qf
export find catalogue
declare -A walls cpus rsss
for entry in "${commands[@]}"; do
    bash -c "${entry#* => }" >/dev/null 2>&1 || true # warm-up
done
for ((round = 0; round < runs; round++)); do
    for entry in "${commands[@]}"; do
        label=${entry%% => *}
        /usr/bin/time -f '%e %U %S %M' -o "$data/time.txt" bash -c "${entry#* => }" >/dev/null 2>&1 || true
        read -r wall user sys rss < <(tail -1 "$data/time.txt") # after any "Command exited" line
        walls[$label]+="$wall "
        cpus[$label]+="$(echo "$user + $sys" | bc) "
        rsss[$label]+="$rss "
    done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
reference=$(echo "${walls[rg -F -i -c WORD]}" | median)
printf '| %-42s | %8s | %8s | %9s | %14s |\n' Command Wall CPU "Peak RSS" "Wall / rg -F -i"
printf '|%s|%s|%s|%s|%s|\n' -------------------------------------------- ---------- ---------- ----------- ----------------
for entry in "${commands[@]}"; do
    label=${entry%% => *}
    wall=$(echo "${walls[$label]}" | median)
    cpu=$(echo "${cpus[$label]}" | median)
    rss=$(echo "${rsss[$label]}" | tr ' ' '\n' | grep -v '^$' | sort -g | tail -1)
    printf '| %-42s | %6.2f s | %6.2f s | %6d MB | %14.2f |\n' "\`$label\`" "$wall" "$cpu" \
        $((rss / 1024)) "$(echo "$wall / $reference" | bc -l)"
done
echo "objects found by quarrow-find -t $word: $(qf -t "$word" | wc -l); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
