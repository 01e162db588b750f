#!/usr/bin/env bash
# Live search over TDS against FreeTDS's own floor, side by side in one run:
#   quarrow-find -S 127.0.0.1,PORT -t WORD   against bsqlodbc sending the same scripts batches
#   quarrow-find -S 127.0.0.1,PORT -n NAME   against bsqlodbc sending the same objects batches
# to the test server serving a synthetic catalogue over loopback. Prints the queries the
# server logged per kind and database, and the median wall and CPU time of each command;
# exits 1 when a search takes more than 1.5 times its fetch.
#   bench/live_bench.sh [runs] [objects] [mean script bytes]     (default 5 20000 2000: ~42 MB)
# LIVE_BENCH_BUILD names the build folder (default build/live-bench, configured here).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
objects=${2:-20000}
bytes=${3:-2000}
databases=4
build=${LIVE_BENCH_BUILD:-build/live-bench}
data=$build/live-bench-data
word=reconcileledger
login=bench
export QUARROW_PASSWORD=bench-Pa55

for tool in bsqlodbc sqlite3; do
    command -v "$tool" >/dev/null ||
        { echo "live_bench: $tool is missing (tools/install-deps)" >&2; exit 2; }
done
drivers=(/usr/lib/*/odbc/libtdsodbc.so)
driver=${drivers[0]}
[ -f "$driver" ] || { echo "live_bench: FreeTDS's ODBC driver is missing (apt-get install tdsodbc)" >&2; exit 2; }

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARROW_BUILD_GUI=OFF \
        -DQUARROW_BUILD_TESTS=ON -DQUARROW_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" --target quarrow-find catgen tds_test_server live_queries -j2 >/dev/null
find_exe=$build/cli/quarrow-find
server_exe=$build/tests/tdsserver/tds-test-server

mkdir -p "$data"
catalogue=$(realpath "$data")/live-$objects-$bytes.qcat
if [ ! -f "$catalogue" ]; then
    "$build/tools/catgen/catgen" synth "$catalogue.part" --objects "$objects" \
        --databases "$databases" --script-bytes "$bytes" --flavour modern 2>/dev/null
    mv "$catalogue.part" "$catalogue"
fi
script_bytes=$(sqlite3 "$catalogue" 'SELECT SUM(LENGTH(CAST(script AS BLOB))) FROM objects;')
echo "catalogue: $objects modules in $databases databases, $((script_bytes / 1000000)) MB of definitions" \
    "($(du -m "$catalogue" | cut -f1) MB file)"

# The server, with its log; killed on exit.
work=$(mktemp -d)
server_pid=
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true # killed on purpose: its status is ours to drop
    fi
    rm -rf "$work"
}
trap cleanup EXIT
log=$work/server.log
"$server_exe" --catalogue "$catalogue" --port 0 --login "$login:$QUARROW_PASSWORD" \
    --log "$log" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=
for _ in $(seq 100); do # 10 s at most
    port=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$work/server.out" 2>/dev/null | head -n 1)
    [ -n "$port" ] && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$port" ] || { echo "live_bench: the test server did not start:" >&2; cat "$work/server.err" >&2; exit 2; }
echo "test server on 127.0.0.1,$port"

# One unixODBC configuration for both clients: the FreeTDS driver, and a DSN for bsqlodbc
# with the keywords Quarrow's connection string carries.
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini
printf '[FreeTDS]\nDriver = %s\n' "$driver" >"$work/odbcinst.ini"
printf '[livebench]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = %s\nTDS_Version = 7.4\nEncryption = request\n' \
    "$port" >"$work/odbc.ini"
export QUARROW_ODBC_DRIVER=$driver

names=()
for d in $(seq "$databases"); do names+=("Synthetic$d"); done
"$build/bench/live_queries" scripts "${names[@]}" >"$work/scripts.sql"
"$build/bench/live_queries" objects "${names[@]}" >"$work/objects.sql"

server=127.0.0.1,$port
find_text=("$find_exe" -q -S "$server" -U "$login" -t "$word")
found=$("${find_text[@]}" | tee "$work/found.tsv" | wc -l)
# A name that exists, for the name search: the first object the text search found.
name=$(head -n 1 "$work/found.tsv" | cut -f4)
[ -n "$name" ] || { echo "live_bench: the text search found nothing" >&2; exit 2; }
find_name=("$find_exe" -q -S "$server" -U "$login" -n "$name")
fetch_scripts=(bsqlodbc -q -S livebench -U "$login" -P "$QUARROW_PASSWORD" -i "$work/scripts.sql" -o /dev/null)
fetch_names=(bsqlodbc -q -S livebench -U "$login" -P "$QUARROW_PASSWORD" -i "$work/objects.sql" -o /dev/null)

# What the floor fetched, once, so a short read cannot pass for a fast one.
fetched_scripts=$(bsqlodbc -q -S livebench -U "$login" -P "$QUARROW_PASSWORD" -i "$work/scripts.sql" 2>/dev/null | wc -l)
fetched_rows=$(bsqlodbc -q -S livebench -U "$login" -P "$QUARROW_PASSWORD" -i "$work/objects.sql" 2>/dev/null | wc -l)
echo "text search finds $found objects; bsqlodbc fetches $fetched_scripts script rows and $fetched_rows object rows"
if [ "$fetched_scripts" -ne "$objects" ] || [ "$fetched_rows" -ne "$objects" ]; then
    echo "live_bench: bsqlodbc did not fetch one row per object" >&2; exit 2
fi
echo "name search for: $name ($("${find_name[@]}" | wc -l) found)"

# The server's log lines a command causes, counted per kind and database (a line belongs to
# the database of the last USE before it: each client runs one query at a time). A login or
# the databases query comes before any USE: column "-".
queries() { # label, command...
    local label=$1; shift
    local before
    before=$(wc -l <"$log")
    "$@" >/dev/null 2>&1 || true
    echo "queries of $label:"
    tail -n +"$((before + 1))" "$log" | awk -v dbs="- ${names[*]}" '
        /^use: / { db = substr($0, 6); kind = "use" }
        /^login: / { kind = "login" }
        /^batch: \(RPC / { kind = "rpc:" $3; sub(/\)$/, "", kind) }
        /^batch: [^(]/ { kind = "other-batch" }
        !/^(use|login|batch): / { kind = $1 }
        { if (!(kind in seen)) { seen[kind] = 1; order[++kinds] = kind }
          n[kind, db == "" ? "-" : db]++ }
        END {
            count = split(dbs, d, " ")
            printf "    %-18s", "kind"
            for (j = 1; j <= count; ++j) printf " %11s", d[j]
            printf "\n"
            for (i = 1; i <= kinds; ++i) {
                printf "    %-18s", order[i]
                for (j = 1; j <= count; ++j) printf " %11d", n[order[i], d[j]]
                printf "\n"
            }
        }'
}
queries "quarrow-find -t" "${find_text[@]}"
queries "bsqlodbc scripts" "${fetch_scripts[@]}"
queries "quarrow-find -n" "${find_name[@]}"
queries "bsqlodbc objects" "${fetch_names[@]}"

# Runs interleaved, so both sides see the same load; medians of wall and CPU (user + system).
measure() { # file, command...
    local file=$1; shift
    local rc=0 TIMEFORMAT='%3R %3U %3S' before
    before=$(server_ticks)
    { time "$@" >/dev/null 2>"$work/err"; } 2>"$work/t" || rc=$?
    # quarrow-find says 1 when nothing was found; anything else is a failed run.
    if [ "$rc" -ne 0 ] && { [ "$1" != "$find_exe" ] || [ "$rc" -ne 1 ]; }; then
        echo "live_bench: $* failed ($rc):" >&2; cat "$work/err" >&2; exit 2
    fi
    awk -v s="$(($(server_ticks) - before))" -v hz="$(getconf CLK_TCK)" \
        '{ printf "%.3f %.3f %.2f\n", $1, $2 + $3, s / hz }' "$work/t" >>"$file"
}
server_ticks() { # user + system clock ticks the server has used so far
    awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$server_pid/stat"
}
median() { # file, column
    sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}
for c in text-q text-b name-q name-b; do : >"$work/$c"; done
"${find_text[@]}" >/dev/null; "${fetch_scripts[@]}" 2>/dev/null # warm-up
for _ in $(seq "$runs"); do
    measure "$work/text-q" "${find_text[@]}"
    measure "$work/text-b" "${fetch_scripts[@]}"
    measure "$work/name-q" "${find_name[@]}"
    measure "$work/name-b" "${fetch_names[@]}"
done

echo "medians of $runs runs (wall s; CPU s of the client; CPU s of the server, 10 ms ticks):"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
verdict() { awk -v r="$1" 'BEGIN { print (r <= 1.5 ? "within 1.5x" : "OVER 1.5x") }'; }
row() { # label, file
    printf '  %-32s wall %6s  CPU %6s  server %5s  (walls: %s)\n' "$1" "$(median "$2" 1)" \
        "$(median "$2" 2)" "$(median "$2" 3)" "$(cut -d' ' -f1 "$2" | tr '\n' ' ')"
}
row "quarrow-find -t $word" "$work/text-q"
row "bsqlodbc, scripts batches" "$work/text-b"
missed=0
r=$(ratio "$(median "$work/text-q" 1)" "$(median "$work/text-b" 1)")
echo "  text search / fetch: $r ($(verdict "$r"))"
[ "$(verdict "$r")" = "within 1.5x" ] || missed=1
row "quarrow-find -n NAME" "$work/name-q"
row "bsqlodbc, objects batches" "$work/name-b"
r=$(ratio "$(median "$work/name-q" 1)" "$(median "$work/name-b" 1)")
echo "  name search / fetch: $r ($(verdict "$r"))"
[ "$(verdict "$r")" = "within 1.5x" ] || missed=1
exit "$missed"
