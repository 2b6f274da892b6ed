#!/usr/bin/env bash
# The status page under keep-alive load on loopback: requests per second and
# the 50th/99th-percentile latency for 1, 50 and 200 clients that ask again
# at once, and for 50 and 200 that ask every 2 s as the page's own reload
# does, against the program polling 10 thermometers on kelvarian-sim.
#
#   bench/page/run.sh BUILD_DIR [TABLE.md] [--seconds S] [--flood-only]
#
# Each level is measured for 8 s (--seconds or BENCH_PAGE_SECONDS) after a
# warm-up in which the connections are accepted. The 1- and 50-client levels
# are set beside the figures measured before answers were queued whole.
# Then the flood: one client asks every second, on a new connection each
# time, while another opens 1000 connections a second on which it sends
# nothing, for 20 s (BENCH_PAGE_FLOOD_SECONDS, BENCH_PAGE_FLOOD_RATE);
# --flood-only runs that alone.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../cpu/program_env.sh
. "$HERE/../cpu/program_env.sh"

BUILD=${1:?usage: bench/page/run.sh BUILD_DIR [TABLE.md] [--seconds S]}
shift
TABLE=
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then TABLE=$1; shift; fi
WINDOW_S=${BENCH_PAGE_SECONDS:-8}
FLOOD_S=${BENCH_PAGE_FLOOD_SECONDS:-20}
FLOOD_RATE=${BENCH_PAGE_FLOOD_RATE:-1000}
FLOOD_ONLY=no
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) WINDOW_S=$2; shift 2 ;;
        --flood-only) FLOOD_ONLY=yes; shift ;;
        *) echo "bench/page: unknown option $1" >&2; exit 2 ;;
    esac
done
kv_init "$BUILD" || exit 1
LOAD=$KV_BUILD/bench/page/kelvarian-bench-page
if [ ! -x "$LOAD" ]; then
    echo "bench/page: $LOAD is missing; build $BUILD first" >&2
    exit 1
fi

WORK=$(mktemp -d /tmp/kelvarian-bench-page.XXXXXX)
KV_SIM_PID=
KV_PROGRAM_PID=
cleanup() {
    kv_stop "$KV_PROGRAM_PID"
    kv_stop "$KV_SIM_PID"
    rm -rf "$WORK"
}
trap cleanup EXIT
ROWS=$WORK/rows

# Each 10 ms timer tick the server answers up to 32 connections that have a
# request (one receive each), then accepts up to 32 new ones: one connection
# gets at most one answer a tick, all of them together at most 3200 a second.
TICK_MS=10
REQUESTS_PER_TICK=32
PER_CLIENT_PER_S=$((1000 / TICK_MS))
EVENTS_PER_S=$((REQUESTS_PER_TICK * 1000 / TICK_MS))

PORT=$(kv_free_port) || { echo "bench/page: no free TCP port" >&2; exit 1; }
{ kv_ten_thermometers; echo wire-timing; echo "latency-ms 1"; } >"$WORK/bus.conf"
kv_settings "$WORK" 0 0 1 "$PORT"
kv_start_sim "$WORK" "$WORK/bus.conf" || exit 1
kv_start_program "$WORK"
if ! kv_wait_page_readings "$PORT" 10 90; then
    echo "bench/page: the page did not show 10 readings within 90 s" >&2
    exit 1
fi

level() {  # CLIENTS PAUSE_MS
    local clients=$1 pause=$2 warmup out n0 n1 t0 t1
    # Every connection is accepted in a tick of its own before its first
    # request is read; paced clients also spread their first request over
    # one pause.
    warmup=$(kv_calc "1 + $clients * $TICK_MS * 1.5 / 1000 + $pause / 1000" 2)
    n0=$(kv_cpu_ns "$KV_PROGRAM_PID") t0=$(kv_now_ns)
    out=$("$LOAD" --port "$PORT" --clients "$clients" --seconds "$WINDOW_S" --warmup "$warmup" \
        --pause-ms "$pause")
    n1=$(kv_cpu_ns "$KV_PROGRAM_PID") t1=$(kv_now_ns)
    get() { awk -v k="$1" '$1 == k { print $2 }' <<<"$out"; }
    local bound pacing
    if [ "$pause" -eq 0 ]; then
        bound=$(kv_calc "($clients * $PER_CLIENT_PER_S < $EVENTS_PER_S) ? $clients * $PER_CLIENT_PER_S : $EVENTS_PER_S" 0)
        pacing="at once"
    else
        bound=$(kv_calc "($clients * 1000 / $pause < $EVENTS_PER_S) ? $clients * 1000 / $pause : $EVENTS_PER_S" 0)
        pacing="every $(kv_calc "$pause / 1000" 0) s"
    fi
    echo "$clients|$pacing|$(get rps)|$bound|$(get p50_ms)|$(get p99_ms)|$(get max_ms)|$(get starved_clients)|$(get unanswered)|$(get errors)|$(kv_calc "($n1 - $n0) / ($t1 - $t0) * 100" 1)" >>"$ROWS"
    # Let the server find the closed connections (one tick each) before the
    # next level connects.
    sleep "$(kv_calc "0.5 + $clients * $TICK_MS * 1.5 / 1000" 2)"
}

FLOOD_ROW=
flood() {
    local out n0 n1 t0 t1
    n0=$(kv_cpu_ns "$KV_PROGRAM_PID") t0=$(kv_now_ns)
    out=$("$LOAD" --port "$PORT" --flood-rate "$FLOOD_RATE" --seconds "$FLOOD_S" --pause-ms 1000)
    n1=$(kv_cpu_ns "$KV_PROGRAM_PID") t1=$(kv_now_ns)
    get() { awk -v k="$1" '$1 == k { print $2 }' <<<"$out"; }
    FLOOD_ROW="$(get flood_per_s)|$(get asks)|$(get answered_200)|$(get unanswered)|$(get p50_ms)|$(get p99_ms)|$(get max_ms)|$(get answer_limit_ms)|$(kv_calc "($n1 - $n0) / ($t1 - $t0) * 100" 1)"
    # The flood's connections are gone; let the server find them closed.
    sleep 1
}

# Measured by this script's flood (10 s) before requests were served ahead of
# new connections, when the server handled one event a tick, accepts first.
BEFORE_FLOOD="999|10|0|10|1000.0|1000.0|1000.0|1000|1.2"

flood_table() {
    local rate asks answered unanswered p50 p99 max limit cpu
    echo "| Flood: new connections/s, no request | Asks (1 a second) | Answered | Unanswered after 1000 ms | p50 ms | p99 ms | Max ms | Program CPU % |"
    echo "|---|---|---|---|---|---|---|---|"
    IFS='|' read -r rate asks answered unanswered p50 p99 max limit cpu <<<"$BEFORE_FLOOD"
    echo "| before: $rate | $asks | $answered | $unanswered | $p50 | $p99 | $max | $cpu |"
    IFS='|' read -r rate asks answered unanswered p50 p99 max limit cpu <<<"$FLOOD_ROW"
    echo "| now: $rate | $asks | $answered | $unanswered | $p50 | $p99 | $max | $cpu |"
}

if [ "$FLOOD_ONLY" = yes ]; then
    echo "page: flood of $FLOOD_RATE connections/s for ${FLOOD_S} s beside one client asking every second; load average $(cut -d' ' -f1-3 /proc/loadavg)"
    flood
    flood_table
    if [ -n "$TABLE" ]; then flood_table >"$TABLE"; echo "table written to $TABLE"; fi
    exit 0
fi

echo "page: keep-alive GET / on 127.0.0.1, ${WINDOW_S} s per level; the program polls 10 DS18B20 (kelvarian-sim --wire-timing --latency-ms 1); load average $(cut -d' ' -f1-3 /proc/loadavg)"
level 1 0
level 50 0
level 200 0
level 50 2000
level 200 2000
flood

print_table() {
    echo "| Clients | Each asks | Req/s | Bound req/s | p50 ms | p99 ms | Max ms | Clients never answered | Program CPU % |"
    echo "|---|---|---|---|---|---|---|---|---|"
    while IFS='|' read -r clients pacing rps bound p50 p99 max starved _ errors cpu; do
        local note=""
        [ "$errors" != 0 ] && note=" ($errors errors)"
        echo "| $clients | $pacing | $rps$note | $bound | $p50 | $p99 | $max | $starved | $cpu |"
    done <"$ROWS"
}
column -t -s '|' -N "CLIENTS,ASKS,REQ_PER_S,BOUND,P50_MS,P99_MS,MAX_MS,NEVER_ANSWERED,UNANSWERED_AT_END,ERRORS,PROGRAM_CPU_%" "$ROWS" 2>/dev/null || cat "$ROWS"
echo "Bound: one answer a connection per ${TICK_MS} ms tick, ${REQUESTS_PER_TICK} a tick in all: ${PER_CLIENT_PER_S} req/s a client, ${EVENTS_PER_S} req/s in all."
echo "Percentiles count every request still unanswered at the end of the window at its age then (a lower bound)."
# Measured by this script on main before each answer was queued whole and
# TCP_NODELAY set (commit 3231ba5: four or five sends an answer, Nagle on).
BEFORE_1_P50=48.1 BEFORE_1_P99=52.1 BEFORE_50_P50=500.0 BEFORE_50_P99=500.7
before_after() {
    local p50_1 p99_1 p50_50 p99_50
    p50_1=$(awk -F'|' '$1 == 1 && $2 == "at once" { print $5 }' "$ROWS")
    p99_1=$(awk -F'|' '$1 == 1 && $2 == "at once" { print $6 }' "$ROWS")
    p50_50=$(awk -F'|' '$1 == 50 && $2 == "at once" { print $5 }' "$ROWS")
    p99_50=$(awk -F'|' '$1 == 50 && $2 == "at once" { print $6 }' "$ROWS")
    echo "| Keep-alive clients asking at once | p50 ms before | p99 ms before | p50 ms now | p99 ms now |"
    echo "|---|---|---|---|---|"
    echo "| 1 | $BEFORE_1_P50 | $BEFORE_1_P99 | $p50_1 | $p99_1 |"
    echo "| 50 | $BEFORE_50_P50 | $BEFORE_50_P99 | $p50_50 | $p99_50 |"
}

# What the figures show about the design, said beside them.
notes() {
    local single starved
    single=$(awk -F'|' '$1 == 1 && $2 == "at once" { print $5 }' "$ROWS")
    starved=$(awk -F'|' '$2 == "at once" && $8 > 0 { n++ } END { print n + 0 }' "$ROWS")
    if [ "$starved" -gt 0 ]; then
        echo "Clients that ask again at once: some connections took every tick and the others got"
        echo "no answer at all (\"never answered\"; their waiting time sets p99)."
    else
        echo "Clients that ask again at once are each answered at most once a tick, and up to"
        echo "${REQUESTS_PER_TICK} of them in the same tick: with N of them an answer takes about"
        echo "N / ${REQUESTS_PER_TICK} ticks, at least one (${TICK_MS} ms)."
    fi
    if awk -v p="$single" 'BEGIN { exit !(p > 3 * '"$TICK_MS"') }'; then
        echo "A single client waits ${single} ms, more than a few ticks: look for a send that waits"
        echo "on the client's delayed ACK (40 ms on Linux), as four or five sends an answer with"
        echo "Nagle's algorithm on did before."
    else
        echo "A single client is answered within the tick its request is read in: each answer is"
        echo "queued whole and leaves in one send with TCP_NODELAY, where before it left in four"
        echo "or five sends and the later ones waited for the client's delayed ACK (40 ms)."
    fi
}
notes
before_after
flood_table
if [ -n "$TABLE" ]; then
    { print_table; echo; notes; echo; before_after; echo; flood_table; } >"$TABLE"
    echo "table written to $TABLE"
fi
