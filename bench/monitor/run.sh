#!/usr/bin/env bash
# What the monitor's checks cost a poll pass beside one read of every
# thermometer: reads of stored sensors that are not on the bus, reads again of
# scratchpads in doubt, and the search every ten minutes. Counted on the
# in-process simulated bus (a virtual clock, so it takes a second); the wire
# time follows from the bytes, the time at a latency from the round trips.
#
#   bench/monitor/run.sh BUILD_DIR [TABLE.md]
set -u
BUILD=${1:?usage: bench/monitor/run.sh BUILD_DIR [TABLE.md]}
TABLE=${2:-}
TOOL=$BUILD/bench/monitor/kelvarian-bench-monitor
if [ ! -x "$TOOL" ]; then
    echo "bench/monitor: $TOOL is missing; build $BUILD first" >&2
    exit 1
fi
out=$("$TOOL" --sensors 10 --missing 5 --passes 600) || exit 1
echo "$out"
get() { awk -v k="$1" '$1 == k { print $2 }' <<<"$out"; }
f1() { awk -v v="$1" 'BEGIN { printf "%.1f", v }'; }
f2() { awk -v v="$1" 'BEGIN { printf "%.2f", v }'; }
at1ms() { awk -v w="$(get "$1_wire_ms")" -v r="$(get "$1_round_trips")" 'BEGIN { printf "%.1f", w + r }'; }
extra1ms() { awk -v w="$(get "$1_extra_wire_ms")" -v r="$(get "$1_extra_round_trips")" 'BEGIN { printf "%.1f", w + r }'; }
row() {  # SCENARIO TEXT
    echo "| $2 | $(f2 "$(get "$1_reads")") | $(f2 "$(get "$1_extra_reads")") | $(f1 "$(get "$1_round_trips")") | $(f1 "$(get "$1_wire_ms")") (+$(f1 "$(get "$1_extra_wire_ms")")) | $(at1ms "$1") (+$(extra1ms "$1")) |"
}
n=$(printf '%.0f' "$(get sensors)")
m=$(printf '%.0f' "$(get missing)")
table() {
    echo "| $n DS18B20 polled, $(printf '%.0f' "$(get passes)") passes | Reads a pass | Beyond one each | Round trips a pass | Wire ms a pass (beyond steady) | At 1 ms latency (beyond steady) |"
    echo "|---|---|---|---|---|---|"
    row steady "Steady temperatures"
    row missing "$m more stored sensors not on the bus (\"Не найден\")"
    row warming "Every temperature 1/16 °C up each pass"
    row jumping "Every temperature 1 °C from the last each pass"
    row bursts "A burst failing the CRC on $(f2 "$(get bursts_bursts)") reads a pass"
    echo "| The search every ten minutes, once | — | — | $(f1 "$(get periodic_search_round_trips)") | $(f1 "$(get periodic_search_wire_ms)") | $(awk -v w="$(get periodic_search_wire_ms)" -v r="$(get periodic_search_round_trips)" 'BEGIN { printf "%.1f", w + r }') |"
}
table
if [ -n "$TABLE" ]; then
    table >"$TABLE"
    echo "table written to $TABLE"
fi
