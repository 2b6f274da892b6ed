#!/usr/bin/env bash
# Processor time of the program while it polls 10 thermometers at an interval
# of 1 s, with "Снизить нагрузку на CPU" off and on (CPU_MinUsage = 0 / 1),
# against kelvarian-sim with real wire timing and a USB adapter's latency per
# write. The simulator's own processor time is shown apart.
#
#   bench/cpu/run.sh BUILD_DIR [TABLE.md] [--seconds S] [--latency-ms N]
#
# The window is 60 s per setting unless --seconds (or BENCH_CPU_SECONDS) says
# otherwise; shorter windows are scaled to a minute and say so. The latency
# defaults to 1 ms (BENCH_CPU_LATENCY_MS), what a USB serial adapter adds.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=program_env.sh
. "$HERE/program_env.sh"

BUILD=${1:?usage: bench/cpu/run.sh BUILD_DIR [TABLE.md] [--seconds S] [--latency-ms N]}
shift
TABLE=
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then TABLE=$1; shift; fi
WINDOW_S=${BENCH_CPU_SECONDS:-60}
LATENCY_MS=${BENCH_CPU_LATENCY_MS:-1}
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) WINDOW_S=$2; shift 2 ;;
        --latency-ms) LATENCY_MS=$2; shift 2 ;;
        *) echo "bench/cpu: unknown option $1" >&2; exit 2 ;;
    esac
done
kv_init "$BUILD" || exit 1

WORK=$(mktemp -d /tmp/kelvarian-bench-cpu.XXXXXX)
KV_SIM_PID=
KV_PROGRAM_PID=
cleanup() {
    kv_stop "$KV_PROGRAM_PID"
    kv_stop "$KV_SIM_PID"
    rm -rf "$WORK"
}
trap cleanup EXIT
ROWS=$WORK/rows

# One setting: start both, wait until all ten are read, let it settle, then
# count both processes' ticks and the log's readings over the window.
measure() {  # CPU_MIN_USAGE
    local mode=$1 dir=$WORK/mode$1
    mkdir -p "$dir"
    { kv_ten_thermometers; echo wire-timing; echo "latency-ms $LATENCY_MS"; } >"$dir/bus.conf"
    kv_settings "$dir" 1 "$mode" 0 80
    kv_start_sim "$dir" "$dir/bus.conf" || exit 1
    kv_start_program "$dir"
    local log=$dir/DS18B20_Kelvarian.log
    if ! kv_wait_log_roms "$log" 10 90; then
        echo "bench/cpu: the program did not read 10 thermometers within 90 s" >&2
        exit 1
    fi
    sleep 3
    local p0 n0 w0 s0 l0 t0 p1 n1 w1 s1 l1 t1
    w0=$(kv_wakeups "$KV_PROGRAM_PID")
    p0=$(kv_cpu_ticks "$KV_PROGRAM_PID") n0=$(kv_cpu_ns "$KV_PROGRAM_PID")
    s0=$(kv_cpu_ticks "$KV_SIM_PID") l0=$(grep -ac '°C' "$log") t0=$(kv_now_ns)
    sleep "$WINDOW_S"
    p1=$(kv_cpu_ticks "$KV_PROGRAM_PID") n1=$(kv_cpu_ns "$KV_PROGRAM_PID")
    w1=$(kv_wakeups "$KV_PROGRAM_PID")
    s1=$(kv_cpu_ticks "$KV_SIM_PID") l1=$(grep -ac '°C' "$log") t1=$(kv_now_ns)
    local wall program runtime sim readings
    wall=$(kv_calc "($t1 - $t0) / 1e9" 2)
    program=$(kv_calc "($p1 - $p0) / $KV_CLK_TCK * 60 / $wall" 2)
    runtime=$(kv_calc "($n1 - $n0) / 1e9 * 60 / $wall" 3)
    sim=$(kv_calc "($s1 - $s0) / $KV_CLK_TCK * 60 / $wall" 2)
    readings=$((l1 - l0))
    echo "$mode|$program|$runtime|$(kv_calc "$runtime / 60 * 100" 2)|$sim|$(kv_calc "$sim / 60 * 100" 1)|$(kv_calc "$readings / $wall" 1)|$(kv_calc "($w1 - $w0) / $wall" 0)|$wall" >>"$ROWS"
    kv_stop "$KV_PROGRAM_PID"
    kv_stop "$KV_SIM_PID"
    KV_PROGRAM_PID= KV_SIM_PID=
}

scaled=""
[ "$WINDOW_S" != 60 ] && scaled=" (measured over ${WINDOW_S} s, scaled to a minute)"
echo "cpu: 10 DS18B20 at interval 1 s, kelvarian-sim --wire-timing --latency-ms $LATENCY_MS; window ${WINDOW_S} s per setting; load average $(cut -d' ' -f1-3 /proc/loadavg)"
measure 0
measure 1

print_table() {
    echo "| CPU_MinUsage | Program CPU s/min, utime+stime | Program CPU s/min, run time | Program % of a core | kelvarian-sim CPU s/min | kelvarian-sim % of a core | Readings/s logged | Program wake-ups/s |"
    echo "|---|---|---|---|---|---|---|---|"
    while IFS='|' read -r mode program runtime pct sim simpct rate wakeups _; do
        echo "| $mode | $program | $runtime | $pct | $sim | $simpct | $rate | $wakeups |"
    done <"$ROWS"
}
column -t -s '|' -N "CPU_MINUSAGE,PROGRAM_S_PER_MIN,RUNTIME_S_PER_MIN,PROGRAM_%,SIM_S_PER_MIN,SIM_%,READINGS_PER_S,WAKEUPS_PER_S,WINDOW_S" "$ROWS" 2>/dev/null || cat "$ROWS"
[ -n "$scaled" ] && echo "figures per minute$scaled"
echo "utime+stime from /proc/PID/stat in ${KV_CLK_TCK} Hz ticks; run time: the scheduler's ns over the process's threads (/proc/PID/task/*/schedstat)."
if [ -n "$TABLE" ]; then
    print_table >"$TABLE"
    echo "table written to $TABLE"
fi
