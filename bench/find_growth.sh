#!/usr/bin/env bash
# How quarrow-find's time and memory grow with the catalogue: synthetic catalogues of 10,000
# to 1,000,000 objects (mean script 2,100 bytes, 20 databases; kept under build/), each
# searched RUNS times (default 3) with `-t WORD` and `-n NAME`; prints a table of the medians
# and draws bench/find_growth.png with gnuplot (tools/install-deps --bench). The 1,000,000-object catalogue is a 3 GB file and takes minutes to generate.
#   bench/find_growth.sh [objects...]        (default 10000 30000 100000 300000 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-3}
build=build/snapshot-bench
data=$build/bench-data
word=reconcileledger
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 30000 100000 300000 1000000)
[ -x /usr/bin/time ] || { echo "find_growth: /usr/bin/time is missing (apt-get install time)" >&2; exit 2; }
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARROW_BUILD_GUI=OFF \
        -DQUARROW_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target quarrow-find catgen -j2 >/dev/null
mkdir -p "$data"

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Prints "wall cpu rss-KB" medians (RSS: the largest) of runs of a command.
measure() {
    local walls="" cpus="" rsss="" wall user sys rss
    "$@" >/dev/null 2>&1 || true # warm the page cache
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -f '%e %U %S %M' -o "$data/time.txt" "$@" >/dev/null 2>&1 || true
        read -r wall user sys rss < <(tail -1 "$data/time.txt")
        walls+="$wall "
        cpus+="$(echo "$user + $sys" | bc) "
        rsss+="$rss "
    done
    echo "$(echo "$walls" | median) $(echo "$cpus" | median) $(echo "$rsss" | tr ' ' '\n' | sort -g | tail -1)"
}

table=$data/growth.dat
echo "# objects script-MB t-wall t-cpu t-rss-MB n-wall n-cpu n-rss-MB" >"$table"
printf '| %9s | %9s | %10s | %9s | %11s | %10s | %9s | %11s |\n' Objects "Script MB" "-t wall" "-t CPU" \
    "-t peak RSS" "-n wall" "-n CPU" "-n peak RSS"
printf '|%s|%s|%s|%s|%s|%s|%s|%s|\n' ----------- ----------- ------------ ----------- ------------- ------------ ----------- -------------
for objects in "${sizes[@]}"; do
    catalogue=$(realpath -m "$data/synthetic-$objects-2100.qcat")
    if [ ! -f "$catalogue" ]; then
        "$build/tools/catgen/catgen" synth "$catalogue" --objects "$objects" --script-bytes 2100 \
            --databases 20 >/dev/null
    fi
    mb=$(sqlite3 "$catalogue" "SELECT sum(length(CAST(script AS BLOB))) / 1000000 FROM objects")
    find=("$build/cli/quarrow-find" -q -S "$catalogue")
    name=$("${find[@]}" -t "$word" | awk -F '\t' 'NR == 1 { print $4 }')
    read -r tw tc tr < <(measure "${find[@]}" -t "$word")
    read -r nw nc nr < <(measure "${find[@]}" -n "$name")
    echo "$objects $mb $tw $tc $((tr / 1024)) $nw $nc $((nr / 1024))" >>"$table"
    printf '| %9d | %9d | %8.2f s | %7.2f s | %8d MB | %8.2f s | %7.2f s | %8d MB |\n' "$objects" "$mb" \
        "$tw" "$tc" $((tr / 1024)) "$nw" "$nc" $((nr / 1024))
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

if command -v gnuplot >/dev/null; then
    gnuplot <<PLOT
set terminal pngcairo size 900,520 font ",10"
set output "bench/find_growth.png"
set title "quarrow-find over synthetic catalogues (medians of $runs runs, $(nproc) cores)"
set logscale xy
set xlabel "objects in the catalogue"
set ylabel "seconds"
set y2label "peak RSS (MB)"
set y2range [0:128]
set ytics nomirror
set y2tics
set key top left
set grid
plot "$table" using 1:3 with linespoints title "-t WORD wall", \
     "$table" using 1:4 with linespoints title "-t WORD CPU", \
     "$table" using 1:6 with linespoints title "-n NAME wall", \
     "$table" using 1:5 axes x1y2 with linespoints title "-t WORD peak RSS (right)"
PLOT
    echo "plot: bench/find_growth.png"
fi
