#!/usr/bin/env bash
# Snapshots of a live server against FreeTDS's own floor, side by side in one run:
#   quarrow-snapshot -S 127.0.0.1,PORT -o FILE          against bsqlodbc sending the scripts
#                                                       batches of the same databases
#   quarrow-snapshot --refresh FILE after N objects changed on the server
# to the test server serving a synthetic catalogue over loopback. Prints the queries the
# server logged per kind, the medians of each command, and exits 1 when a first snapshot
# takes more than 1.5 times the fetch or a refresh 10 % or more of a first snapshot.
#   bench/snapshot_bench.sh [runs] [objects] [mean script bytes] [changed]
#                                                  (default 5 20000 2000 100)
# SNAPSHOT_BENCH_BUILD names the build folder (default build/live-bench, shared with
# bench/live_bench.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
objects=${2:-20000}
bytes=${3:-2000}
changed=${4:-100}
databases=4
build=${SNAPSHOT_BENCH_BUILD:-build/live-bench}
data=$build/live-bench-data
login=bench
export QUARROW_PASSWORD=bench-Pa55

for tool in bsqlodbc sqlite3; do
    command -v "$tool" >/dev/null ||
        { echo "snapshot_bench: $tool is missing (tools/install-deps)" >&2; exit 2; }
done
drivers=(/usr/lib/*/odbc/libtdsodbc.so)
driver=${drivers[0]}
[ -f "$driver" ] || { echo "snapshot_bench: FreeTDS's ODBC driver is missing (apt-get install tdsodbc)" >&2; exit 2; }

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARROW_BUILD_GUI=OFF \
        -DQUARROW_BUILD_TESTS=ON -DQUARROW_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" --target quarrow-snapshot catgen tds_test_server live_queries -j2 >/dev/null
snapshot_exe=$build/cli/quarrow-snapshot
server_exe=$build/tests/tdsserver/tds-test-server

mkdir -p "$data"
generated=$(realpath "$data")/live-$objects-$bytes.qcat
if [ ! -f "$generated" ]; then
    "$build/tools/catgen/catgen" synth "$generated.part" --objects "$objects" \
        --databases "$databases" --script-bytes "$bytes" --flavour modern 2>/dev/null
    mv "$generated.part" "$generated"
fi

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

# The served copy carries stamps (the generator writes none), so the server can say what
# changed; object ids stay the positions the generator gave.
served=$work/served.qcat
cp "$generated" "$served"
# Each object its own time, as on a server where they were made one after another.
stamps="UPDATE objects SET stamp = strftime('%Y-%m-%d %H:%M:%S', '2024-01-01', '+' || rowid || ' seconds') || '.000';"
sqlite3 "$served" "ALTER TABLE objects ADD COLUMN stamp TEXT; $stamps" \
    2>/dev/null || sqlite3 "$served" "$stamps"
script_bytes=$(sqlite3 "$served" 'SELECT SUM(LENGTH(CAST(script AS BLOB))) FROM objects;')
echo "catalogue: $objects modules in $databases databases, $((script_bytes / 1000000)) MB of definitions"

log=$work/server.log
"$server_exe" --catalogue "$served" --port 0 --login "$login:$QUARROW_PASSWORD" \
    --log "$log" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=
for _ in $(seq 100); do # 10 s at most
    # The server may not have opened its output yet: no port this round, not an error.
    port=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$work/server.out" 2>/dev/null | head -n 1 || true)
    [ -n "$port" ] && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$port" ] || { echo "snapshot_bench: the test server did not start:" >&2; cat "$work/server.err" >&2; exit 2; }
server=127.0.0.1,$port
echo "test server on $server"

export ODBCSYSINI=$work ODBCINI=$work/odbc.ini
printf '[FreeTDS]\nDriver = %s\n' "$driver" >"$work/odbcinst.ini"
printf '[snapbench]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = %s\nTDS_Version = 7.4\nEncryption = request\n' \
    "$port" >"$work/odbc.ini"
export QUARROW_ODBC_DRIVER=$driver

names=()
for d in $(seq "$databases"); do names+=("Synthetic$d"); done
"$build/bench/live_queries" scripts "${names[@]}" >"$work/scripts.sql"

first=$work/first.qcat
take=("$snapshot_exe" -q -S "$server" -U "$login" -o "$work/taken.qcat")
fetch=(bsqlodbc -q -S snapbench -U "$login" -P "$QUARROW_PASSWORD" -i "$work/scripts.sql" -o /dev/null)
refresh=("$snapshot_exe" -q --refresh "$work/refreshed.qcat")

# The first snapshot the refreshes start from, taken before anything changes.
"$snapshot_exe" -q -S "$server" -U "$login" -o "$first"
taken=$(sqlite3 "$first" 'SELECT COUNT(*) FROM objects WHERE script IS NOT NULL;')
[ "$taken" -eq "$objects" ] || { echo "snapshot_bench: the snapshot holds $taken scripts, not $objects" >&2; exit 2; }
# Then N objects change on the server: a new definition and a later stamp.
sqlite3 "$served" "UPDATE objects SET script = script || char(10) || '-- altered',
                   stamp = '2025-01-01 00:00:00.000'
                   WHERE rowid IN (SELECT rowid FROM objects ORDER BY random() LIMIT $changed);"

queries() { # label, command...
    local label=$1; shift
    local before
    before=$(wc -l <"$log")
    "$@" >/dev/null 2>&1 || true
    echo "queries of $label:"
    tail -n +"$((before + 1))" "$log" | sed -e 's/ keys=.*/ keys=.../' -e 's/ since=.*/ since=.../' -e 's/^use: .*/use/' |
        sort | uniq -c | sed 's/^/   /'
}
cp "$first" "$work/refreshed.qcat"
queries "quarrow-snapshot" "${take[@]}"
queries "bsqlodbc scripts" "${fetch[@]}"
queries "quarrow-snapshot --refresh" "${refresh[@]}"
read_back=$(sqlite3 "$work/refreshed.qcat" "SELECT COUNT(*) FROM objects WHERE script LIKE '%-- altered';")
[ "$read_back" -eq "$changed" ] || { echo "snapshot_bench: the refresh holds $read_back changed scripts, not $changed" >&2; exit 2; }

measure() { # file, command...
    local file=$1; shift
    local TIMEFORMAT='%3R %3U %3S'
    { time "$@" >/dev/null 2>"$work/err"; } 2>"$work/t" ||
        { echo "snapshot_bench: $* failed:" >&2; cat "$work/err" >&2; exit 2; }
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/t" >>"$file"
}
median() { # file, column
    sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}
for c in take fetch refresh; do : >"$work/$c"; done
"${take[@]}"; "${fetch[@]}" 2>/dev/null # warm-up
for _ in $(seq "$runs"); do
    measure "$work/take" "${take[@]}"
    measure "$work/fetch" "${fetch[@]}"
    cp "$first" "$work/refreshed.qcat"
    measure "$work/refresh" "${refresh[@]}"
done

echo "medians of $runs runs (wall s; CPU s of the client):"
row() { # label, file
    printf '  %-36s wall %6s  CPU %6s  (walls: %s)\n' "$1" "$(median "$2" 1)" "$(median "$2" 2)" \
        "$(cut -d' ' -f1 "$2" | tr '\n' ' ')"
}
row "quarrow-snapshot (first)" "$work/take"
row "bsqlodbc, scripts batches" "$work/fetch"
row "quarrow-snapshot --refresh ($changed changed)" "$work/refresh"
missed=0
r=$(awk -v a="$(median "$work/take" 1)" -v b="$(median "$work/fetch" 1)" 'BEGIN { printf "%.2f", a / b }')
echo "  first snapshot / fetch: $r (target: at most 1.5)"
awk -v r="$r" 'BEGIN { exit !(r <= 1.5) }' || missed=1
r=$(awk -v a="$(median "$work/refresh" 1)" -v b="$(median "$work/take" 1)" 'BEGIN { printf "%.3f", a / b }')
echo "  refresh / first snapshot: $r (target: under 0.10)"
awk -v r="$r" 'BEGIN { exit !(r < 0.10) }' || missed=1
exit "$missed"
