#!/usr/bin/env bash
# Bus benchmarks: the 1-Wire library, owserver --passive (with owdir/owread)
# and digitemp_DS9097 against kelvarian-sim on a pseudo-terminal with real
# wire timing, at several adapter latencies. Then the same behind the
# simulator's DS2480B (--adapter ds2480b) beside digitemp_DS9097U and
# owserver -d, and the DS2480B's UART rates (kelvarian-bench-ds2480-rates).
# Prints every figure beside its bound and the ratio, and writes Markdown
# tables to TABLE (stdout when none): the passive one, then TABLE's name with
# -ds2480b and -rates before .md for the others.
#
#   bench/bus/run.sh BUILD_DIR [TABLE.md]
#
# Needs kelvarian-sim and kelvarian-bench-bus built in BUILD_DIR; the peers
# come from bench/bus/install-peers (rows say so when they are missing).
# BENCH_BUS_LATENCIES (default "0 1 4") and BENCH_BUS_PEER_LATENCIES
# (default "0 1"; empty for none) choose the latencies in ms, BENCH_BUS_SIZES
# (default "1 10 30") the numbers of thermometers.
set -u

BUILD=${1:?usage: bench/bus/run.sh BUILD_DIR [TABLE.md]}
TABLE=${2:-}
BUILD=$(cd "$BUILD" && pwd)
SIM=$BUILD/tools/sim/kelvarian-sim
BENCH=$BUILD/bench/bus/kelvarian-bench-bus
RATES=$BUILD/bench/bus/kelvarian-bench-ds2480-rates
SHIM=$BUILD/tools/sim/libkelvarian-pty-drain.so
LATENCIES=${BENCH_BUS_LATENCIES:-0 1 4}
PEER_LATENCIES=${BENCH_BUS_PEER_LATENCIES-0 1}
SIZES=${BENCH_BUS_SIZES:-1 10 30}
PEER_SIZE=10

for tool in "$SIM" "$BENCH" "$RATES"; do
    if [ ! -x "$tool" ]; then
        echo "bench/bus: $tool is missing; build BUILD_DIR first" >&2
        exit 1
    fi
done

WORK=$(mktemp -d /tmp/kelvarian-bench-bus.XXXXXX)
SIM_PID=
OWSERVER_PID=
cleanup() {
    [ -n "$OWSERVER_PID" ] && kill "$OWSERVER_PID" 2>/dev/null && wait "$OWSERVER_PID" 2>/dev/null
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
LINK=$WORK/COM1
ROWS=$WORK/rows

# Wire time (10 bit times a byte): a reset at 9600 baud is 1.0417 ms, a slot
# at 115200 baud 0.0868 ms. A poll of one device is a reset, Match ROM with
# its code (72 slots) and Read Scratchpad with nine bytes (80 slots): 14.24
# ms. A search pass is a reset and 200 slots (the command and 64 x 3): 18.40 ms.
POLL_BOUND_MS=14.236
SEARCH_BOUND_MS=18.403

now_ns() { date +%s%N; }
ms_since() { awk -v a="$1" -v b="$(now_ns)" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'; }
calc() { awk "BEGIN { printf \"%.${2:-1}f\", $1 }"; }

# N DS18B20s with serial numbers spread over the whole range (a fixed
# sequence, so every run sees the same bus), 10.0 to 40.0 degC.
device_args() {
    local n=$1 i serial
    for ((i = 1; i <= n; i++)); do
        serial=$(((i * 0x9E3779B97F4A7C15 + 0x1234567) & 0xFFFFFFFFFFFF))
        printf -- '--device 28:%012X,temp=%d ' "$serial" $((10 + i % 31))
    done
}

start_sim() {  # N LATENCY [SIMULATOR FLAGS...]
    # Emptied here, not by the child's redirection, so that the wait below
    # cannot see the previous simulator's "ready".
    : >"$WORK/sim.out"
    # shellcheck disable=SC2046
    "$SIM" --link "$LINK" --wire-timing --latency-ms "$2" "${@:3}" $(device_args "$1") >>"$WORK/sim.out" 2>&1 &
    SIM_PID=$!
    for _ in $(seq 100); do
        grep -q '^ready' "$WORK/sim.out" 2>/dev/null && return 0
        sleep 0.05
    done
    echo "bench/bus: kelvarian-sim did not start: $(cat "$WORK/sim.out")" >&2
    exit 1
}

stop_sim() {
    kill "$SIM_PID" 2>/dev/null
    wait "$SIM_PID" 2>/dev/null
    SIM_PID=
}

# figure|N|latency ms|measured ms|bound ms|ratio|goal
row() { echo "$1|$2|$3|$4|$5|$6|$7" >>"$ROWS"; }
ratio() { calc "$1 / $2" 2; }
within() { awk -v m="$1" -v b="$2" 'BEGIN { print (m <= b) ? "met" : "missed" }'; }

declare -A OURS_SEARCH OURS_READ

run_ours() {  # N LATENCY
    local n=$1 lat=$2 searches=5 out
    # A search of 30 devices at 4 ms is some 8 s; the medians of fewer do.
    [ "$lat" -ge 1 ] && [ "$n" -ge 10 ] && searches=3
    if ! out=$("$BENCH" "$LINK" "$n" "$searches" 9 2>&1); then
        echo "bench/bus: kelvarian-bench-bus failed (N=$n, latency $lat ms): $out" >&2
    fi
    get() { awk -v k="$1" '$1 == k { print $2 }' <<<"$out"; }
    local search poll readall rt writes pwrites per_read trips
    search=$(get search_ms) poll=$(get poll_ms) readall=$(get read_all_ms) rt=$(get round_trip_ms)
    writes=$(get search_writes) pwrites=$(get poll_writes) per_read=$(get writes_per_read)
    # Each round trip of a read pays the adapter's latency once.
    trips=$(calc "$per_read" 0)
    local pbound sbound pgoal
    pbound=$(calc "$n * $POLL_BOUND_MS" 1)
    sbound=$(calc "$n * $SEARCH_BOUND_MS" 1)
    if [ "$lat" -eq 0 ]; then
        pgoal="≤ 1.05 × bound: $(within "$poll" "$(calc "$pbound * 1.05" 2)")"
    else
        local strict measured
        strict=$(calc "$pbound + $trips * $n * $lat" 1)
        measured=$(calc "$pbound + $trips * $n * $rt" 1)
        pgoal="≤ bound + ${trips}·N·latency ($strict): $(within "$poll" "$strict"); ≤ bound + ${trips}·N·round trip ($measured, round trip $(calc "$rt" 2) ms): $(within "$poll" "$measured")"
    fi
    row "kelvarian poll pass (${pwrites%.*} writes, $(calc "$per_read" 2) a read)" "$n" "$lat" "$(calc "$poll" 1)" "$pbound" \
        "$(ratio "$poll" "$pbound")" "$pgoal"
    if [ "$lat" -ge 1 ]; then
        local apart apart_writes
        apart=$(get poll_apart_ms) apart_writes=$(get poll_apart_writes)
        row "kelvarian poll pass, Match ROM and Read Scratchpad apart (${apart_writes%.*} writes)" \
            "$n" "$lat" "$(calc "$apart" 1)" "$pbound" "$(ratio "$apart" "$pbound")" \
            "one call: $(calc "$apart - $poll" 1) ms less"
    fi
    row "kelvarian search (${writes%.*} writes)" "$n" "$lat" "$(calc "$search" 1)" "$sbound" \
        "$(ratio "$search" "$sbound")" ""
    OURS_SEARCH[$n:$lat]=$search
    OURS_READ[$n:$lat]=$readall
}

# owserver on the same bus: a directory listing of /uncached searches the
# bus; owread of every thermometer's temperature converts and reads them.
# Whether the owserver just started answers on PORT within ten seconds.
owserver_answers() {  # PORT
    for _ in $(seq 100); do
        owdir -s "$1" / >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

run_owserver() {  # LATENCY
    local lat=$1 port t0 search read found readings
    if ! command -v owserver >/dev/null || ! command -v owdir >/dev/null; then
        row "owserver --passive" "$PEER_SIZE" "$lat" "not installed" "" "" "run bench/bus/install-peers"
        return
    fi
    port=$((14304 + RANDOM % 1000))
    owserver --passive="$LINK" -p "$port" --foreground --error_level=0 >"$WORK/owserver.out" 2>&1 &
    OWSERVER_PID=$!
    if ! owserver_answers "$port"; then
        row "owserver --passive" "$PEER_SIZE" "$lat" "did not start" "" "" "$(head -c 200 "$WORK/owserver.out")"
    else
        t0=$(now_ns)
        timeout 120 owdir -s "$port" /uncached >"$WORK/owdir.out" 2>&1
        search=$(ms_since "$t0")
        found=$(grep -cE '^/uncached/[0-9A-F]{2}\.' "$WORK/owdir.out")
        mapfile -t paths < <(grep -E '^/uncached/28\.' "$WORK/owdir.out" | sed 's|$|/temperature|')
        t0=$(now_ns)
        timeout 300 owread -s "$port" "${paths[@]}" >"$WORK/owread.out" 2>&1
        read=$(ms_since "$t0")
        readings=$(grep -oE -- '-?[0-9]+(\.[0-9]+)?' "$WORK/owread.out" | wc -l)
        peer_rows "owserver --passive" "$lat" "$search" "$found" "$read" "$readings"
    fi
    kill "$OWSERVER_PID" 2>/dev/null
    wait "$OWSERVER_PID" 2>/dev/null
    OWSERVER_PID=
}

# digitemp_DS9097 on the same bus: -i searches and writes its configuration,
# -a converts and reads every sensor in it.
run_digitemp() {  # LATENCY
    local lat=$1 t0 search read found readings conf=$WORK/digitemp.conf
    if ! command -v digitemp_DS9097 >/dev/null; then
        row "digitemp_DS9097" "$PEER_SIZE" "$lat" "not installed" "" "" "run bench/bus/install-peers"
        return
    fi
    rm -f "$conf"
    t0=$(now_ns)
    (cd "$WORK" && timeout 120 digitemp_DS9097 -q -s "$LINK" -i -c "$conf") >"$WORK/dt-i.out" 2>&1
    search=$(ms_since "$t0")
    found=$(grep -cE '^ROM #[0-9]+ : ' "$WORK/dt-i.out")
    t0=$(now_ns)
    (cd "$WORK" && timeout 300 digitemp_DS9097 -q -a -c "$conf") >"$WORK/dt-a.out" 2>&1
    read=$(ms_since "$t0")
    readings=$(grep -cE 'Sensor [0-9]+ C: -?[0-9]' "$WORK/dt-a.out")
    peer_rows "digitemp_DS9097" "$lat" "$search" "$found" "$read" "$readings"
}

# A peer's search and read beside ours on the same bus.
peer_rows() {  # NAME LATENCY SEARCH_MS FOUND READ_MS READINGS
    local name=$1 lat=$2 search=$3 found=$4 read=$5 readings=$6
    local ours_search=${OURS_SEARCH[$PEER_SIZE:$lat]} ours_read=${OURS_READ[$PEER_SIZE:$lat]}
    local sgoal="" rgoal
    [ "$found" -ne "$PEER_SIZE" ] && sgoal="found $found of $PEER_SIZE; "
    [ "$lat" -eq 1 ] && [ "${name%% *}" = owserver ] &&
        sgoal="${sgoal}ours ≤ theirs: $(within "$ours_search" "$search")"
    row "$name search (ours $(calc "$ours_search" 1) ms)" "$PEER_SIZE" "$lat" "$search" \
        "$(calc "$PEER_SIZE * $SEARCH_BOUND_MS" 1)" "ours $(calc "$search / $ours_search" 1)× faster" "$sgoal"
    rgoal="ours ≥ 5× faster: $(awk -v o="$ours_read" -v t="$read" 'BEGIN { print (5 * o <= t) ? "met" : "missed" }')"
    [ "$readings" -ne "$PEER_SIZE" ] && rgoal="read $readings of $PEER_SIZE; $rgoal"
    row "$name read all (ours $(calc "$ours_read" 1) ms)" "$PEER_SIZE" "$lat" "$read" "" \
        "ours $(calc "$read / $ours_read" 1)× faster" "$rgoal"
}

echo "bus benchmarks: kelvarian-sim with wire timing on a pseudo-terminal; load average $(cut -d' ' -f1-3 /proc/loadavg)"
for lat in $LATENCIES; do
    for n in $SIZES; do
        start_sim "$n" "$lat"
        run_ours "$n" "$lat"
        if [ "$n" -eq "$PEER_SIZE" ] && [[ " $PEER_LATENCIES " == *" $lat "* ]]; then
            run_owserver "$lat"
            run_digitemp "$lat"
        fi
        stop_sim
    done
done

# Behind a DS2480B at 9600 baud a byte is one frame (1.0417 ms) on the UART
# each way; on the wire a slot is 60 us and a reset 1.096 ms, spent while the
# next byte arrives. A read is 21 bytes to the chip (reset, data mode, Match
# ROM, the code, Read Scratchpad, nine read bytes): 21 frames, the last byte's
# eight slots and its answer's frame, 23.40 ms. A search pass is 24 bytes
# (reset, data mode, Search ROM, accelerator on, data mode, 16 search bytes,
# accelerator off): 25.00 ms, the last search byte's twelve slots and its
# answer being under the two bytes that follow it. Each round trip adds the
# latency once.
DS_READ_BOUND_MS=23.396
DS_SEARCH_BOUND_MS=25.000
DS_ROWS=$WORK/ds-rows
TRACE=$WORK/trace.txt
: >"$DS_ROWS"
# figure|latency ms|measured ms|round trips|bound ms|ratio|note
ds_row() { echo "$1|$2|$3|$4|$5|$6|$7" >>"$DS_ROWS"; }
# Writes the simulator has seen so far (its trace has one line a write).
trace_writes() { wc -l <"$TRACE" | tr -d ' '; }
per_device() { calc "$1 / $PEER_SIZE" "${2:-1}"; }

declare -A DS_SEARCH DS_READ

run_ds_ours() {  # LATENCY
    local lat=$1 out
    if ! out=$("$BENCH" "$LINK" "$PEER_SIZE" 3 9 2>&1); then
        echo "bench/bus: kelvarian-bench-bus failed behind the DS2480B (latency $lat ms): $out" >&2
    fi
    get() { awk -v k="$1" '$1 == k { print $2 }' <<<"$out"; }
    local search poll apart readall swrites pwrites awrites pbound sbound
    search=$(get search_ms) poll=$(get poll_ms) apart=$(get poll_apart_ms) readall=$(get read_all_ms)
    swrites=$(get search_writes) pwrites=$(get poll_writes) awrites=$(get poll_apart_writes)
    pbound=$(calc "$PEER_SIZE * ($DS_READ_BOUND_MS + $lat)" 1)
    sbound=$(calc "$PEER_SIZE * ($DS_SEARCH_BOUND_MS + $lat)" 1)
    [ "$(get adapter_passive)" = "0.000" ] || echo "bench/bus: the DS2480B was not detected" >&2
    ds_row "kelvarian poll pass" "$lat" "$(calc "$poll" 1)" \
        "${pwrites%.*} ($(per_device "$pwrites" 2) a read; goal 1)" "$pbound" "$(ratio "$poll" "$pbound")" ""
    ds_row "kelvarian poll pass, matchRom + readScratchpad" "$lat" "$(calc "$apart" 1)" \
        "${awrites%.*} ($(per_device "$awrites" 2) a read)" "$pbound" "$(ratio "$apart" "$pbound")" ""
    ds_row "kelvarian search" "$lat" "$(calc "$search" 1)" \
        "${swrites%.*} ($(per_device "$swrites" 2) a pass; goal 1)" "$sbound" "$(ratio "$search" "$sbound")" \
        "$(per_device "$search") ms a device"
    ds_row "kelvarian read all (convert, 800 ms, poll pass)" "$lat" "$(calc "$readall" 1)" "" "" "" ""
    DS_SEARCH[$lat]=$search
    DS_READ[$lat]=$readall
}

# A peer's search and read-all beside ours: the time, the writes the
# simulator saw, the time a device, and how much faster ours is.
ds_peer_rows() {  # NAME LATENCY SEARCH_MS SEARCH_WRITES FOUND READ_MS READ_WRITES READINGS
    local name=$1 lat=$2 search=$3 swrites=$4 found=$5 read=$6 rwrites=$7 readings=$8 note
    note="$(per_device "$search") ms a device"
    [ "$found" -ne "$PEER_SIZE" ] && note="found $found of $PEER_SIZE; $note"
    ds_row "$name search" "$lat" "$search" "$swrites ($(per_device "$swrites" 1) a device)" \
        "$(calc "$PEER_SIZE * ($DS_SEARCH_BOUND_MS + $lat)" 1)" \
        "ours $(calc "$search / ${DS_SEARCH[$lat]}" 1)× faster" "$note"
    note="$(per_device "$read") ms a thermometer"
    [ "$readings" -ne "$PEER_SIZE" ] && note="read $readings of $PEER_SIZE; $note"
    ds_row "$name read all" "$lat" "$read" "$rwrites ($(per_device "$rwrites" 1) a thermometer)" "" \
        "ours $(calc "$read / ${DS_READ[$lat]}" 1)× faster" "$note"
}

run_ds_digitemp() {  # LATENCY
    local lat=$1 t0 w0 search swrites read rwrites found readings conf=$WORK/digitemp-u.conf
    if ! command -v digitemp_DS9097U >/dev/null; then
        ds_row "digitemp_DS9097U" "$lat" "not installed" "" "" "" "run bench/bus/install-peers"
        return
    fi
    rm -f "$conf"
    w0=$(trace_writes) t0=$(now_ns)
    (cd "$WORK" && timeout 120 digitemp_DS9097U -q -s "$LINK" -i -c "$conf") >"$WORK/dtu-i.out" 2>&1
    search=$(ms_since "$t0") swrites=$(($(trace_writes) - w0))
    found=$(grep -cE '^ROM #[0-9]+ : ' "$WORK/dtu-i.out")
    w0=$(trace_writes) t0=$(now_ns)
    (cd "$WORK" && timeout 300 digitemp_DS9097U -q -a -c "$conf") >"$WORK/dtu-a.out" 2>&1
    read=$(ms_since "$t0") rwrites=$(($(trace_writes) - w0))
    readings=$(grep -cE 'Sensor [0-9]+ C: -?[0-9]' "$WORK/dtu-a.out")
    ds_peer_rows "digitemp_DS9097U" "$lat" "$search" "$swrites" "$found" "$read" "$rwrites" "$readings"
}

# owserver -d drives the chip itself; preloaded with the simulator's flush
# shim (tools/sim/pty_drain_shim.cpp), as a pseudo-terminal would otherwise
# drop the bytes it flushes after tcdrain.
run_ds_owserver() {  # LATENCY
    local lat=$1 port t0 w0 search swrites read rwrites found readings
    if ! command -v owserver >/dev/null || ! command -v owdir >/dev/null; then
        ds_row "owserver -d" "$lat" "not installed" "" "" "" "run bench/bus/install-peers"
        return
    fi
    port=$((15304 + RANDOM % 1000))
    LD_PRELOAD=$SHIM owserver -d "$LINK" -p "$port" --foreground --error_level=0 >"$WORK/owserver-d.out" 2>&1 &
    OWSERVER_PID=$!
    if ! owserver_answers "$port"; then
        ds_row "owserver -d" "$lat" "did not start" "" "" "" "$(head -c 200 "$WORK/owserver-d.out")"
    else
        w0=$(trace_writes) t0=$(now_ns)
        timeout 120 owdir -s "$port" /uncached >"$WORK/owdir-d.out" 2>&1
        search=$(ms_since "$t0") swrites=$(($(trace_writes) - w0))
        found=$(grep -cE '^/uncached/[0-9A-F]{2}\.' "$WORK/owdir-d.out")
        mapfile -t paths < <(grep -E '^/uncached/28\.' "$WORK/owdir-d.out" | sed 's|$|/temperature|')
        w0=$(trace_writes) t0=$(now_ns)
        timeout 300 owread -s "$port" "${paths[@]}" >"$WORK/owread-d.out" 2>&1
        read=$(ms_since "$t0") rwrites=$(($(trace_writes) - w0))
        readings=$(grep -oE -- '-?[0-9]+(\.[0-9]+)?' "$WORK/owread-d.out" | wc -l)
        ds_peer_rows "owserver -d" "$lat" "$search" "$swrites" "$found" "$read" "$rwrites" "$readings"
    fi
    kill "$OWSERVER_PID" 2>/dev/null
    wait "$OWSERVER_PID" 2>/dev/null
    OWSERVER_PID=
}

# The chip's UART rates: the same poll pass sent in bursts and byte by byte
# at 9600, 19200, 57600 and 115200 baud (kelvarian-bench-ds2480-rates).
RATE_ROWS=$WORK/rate-rows
: >"$RATE_ROWS"
run_ds_rates() {  # LATENCY
    local lat=$1 out
    out=$("$RATES" "$LINK" "$PEER_SIZE" 5 2>&1) || echo "bench/bus: the rate benchmark failed: $out" >&2
    awk -v lat="$lat" '$1 == "rate" { print $2 "|" lat "|" $3 "|" $4 "|" $5 "|" $6 "|" $7 "|" $8 }' \
        <<<"$out" >>"$RATE_ROWS"
}

if [ -n "$PEER_LATENCIES" ]; then
    echo "DS2480B: kelvarian-sim --adapter ds2480b --wire-timing, $PEER_SIZE thermometers"
fi
for lat in $PEER_LATENCIES; do
    : >"$TRACE"
    start_sim "$PEER_SIZE" "$lat" --adapter ds2480b --trace "$TRACE"
    run_ds_ours "$lat"
    run_ds_digitemp "$lat"
    run_ds_owserver "$lat"
    run_ds_rates "$lat"
    stop_sim
done

# Read all: ours is one Convert T for all (Skip ROM), the monitor's 800 ms
# wait, then a poll pass; the peers convert one sensor at a time.
print_table() {
    echo "| Figure | N | Latency ms | Measured ms | Bound ms | Ratio | Goal |"
    echo "|---|---|---|---|---|---|---|"
    while IFS='|' read -r figure n lat measured bound ratio goal; do
        echo "| $figure | $n | $lat | $measured | $bound | $ratio | $goal |"
    done <"$ROWS"
}

print_ds_table() {
    echo "| Figure | Latency ms | Measured ms | Round trips | Bound ms | Ratio | Note |"
    echo "|---|---|---|---|---|---|---|"
    while IFS='|' read -r figure lat measured trips bound ratio note; do
        echo "| $figure | $lat | $measured | $trips | $bound | $ratio | $note |"
    done <"$DS_ROWS"
}

print_rate_table() {
    echo "| Rate baud | Latency ms | Burst pass ms | Burst reads good | Bytes lost | Byte-by-byte pass ms | Byte-by-byte reads good | Bound ms (UART + 1-Wire) |"
    echo "|---|---|---|---|---|---|---|---|"
    while IFS='|' read -r rate lat burst good lost paced pgood bound; do
        echo "| $rate | $lat | $burst | $good | $lost | $paced | $pgood | $bound |"
    done <"$RATE_ROWS"
}

column -t -s '|' -N "FIGURE,N,LAT_MS,MEASURED_MS,BOUND_MS,RATIO,GOAL" "$ROWS" 2>/dev/null || cat "$ROWS"
echo
echo "Read all, ours: Skip ROM + Convert T for every thermometer at once, the 800 ms wait the monitor uses, then the poll pass."
echo
column -t -s '|' -N "DS2480B FIGURE,LAT_MS,MEASURED_MS,ROUND_TRIPS,BOUND_MS,RATIO,NOTE" "$DS_ROWS" 2>/dev/null || cat "$DS_ROWS"
echo
column -t -s '|' -N "RATE,LAT_MS,BURST_MS,BURST_GOOD,LOST,PACED_MS,PACED_GOOD,BOUND_MS" "$RATE_ROWS" 2>/dev/null || cat "$RATE_ROWS"
if [ -n "$TABLE" ]; then
    print_table >"$TABLE"
    print_ds_table >"${TABLE%.md}-ds2480b.md"
    print_rate_table >"${TABLE%.md}-rates.md"
    echo "tables written to $TABLE, ${TABLE%.md}-ds2480b.md and ${TABLE%.md}-rates.md"
else
    print_table
    echo
    print_ds_table
    echo
    print_rate_table
fi
