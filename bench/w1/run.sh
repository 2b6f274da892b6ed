#!/usr/bin/env bash
# A pass over 10 thermometers behind a kernel w1 master, from a tree that
# kelvarian-sim --w1-sysfs keeps with the kernel's timing (a read of w1_slave
# converts for 750 ms; a bulk conversion takes 750 ms for all), with and
# without therm_bulk_read: the pass's wall time, the time from pass to pass,
# the program's processor time per pass, and the time from start to the
# first reading and to all ten.
#
#   bench/w1/run.sh [BUILD_DIR] [--passes N] [--table FILE.md]
#
# Everything it started is stopped at the end, also when it is interrupted.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../cpu/program_env.sh
. "$HERE/../cpu/program_env.sh"

BUILD=build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then BUILD=$1; shift; fi
PASSES=4
TABLE=
while [ $# -gt 0 ]; do
    case $1 in
        --passes) PASSES=$2; shift 2 ;;
        --table) TABLE=$2; shift 2 ;;
        *) echo "bench/w1: unknown option $1" >&2; exit 2 ;;
    esac
done
kv_init "$BUILD" || exit 1
SENSORS=10

WORK=$(mktemp -d /tmp/kelvarian-bench-w1.XXXXXX)
KV_SIM_PID=
KV_PROGRAM_PID=
cleanup() {
    kv_stop "$KV_PROGRAM_PID"
    kv_stop "$KV_SIM_PID"
    if [ -n "${BENCH_KEEP:-}" ]; then echo "bench/w1: the run's files are in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# The sensors' temperatures in /status.json ("temperature":null before a reading).
readings() {
    curl -sf --max-time 2 "http://127.0.0.1:$1/status.json" 2>/dev/null |
        grep -o '"temperature":[-0-9]' | wc -l
}
metric() {  # PORT NAME
    curl -sf --max-time 2 "http://127.0.0.1:$1/metrics" 2>/dev/null |
        awk -v name="$2" '$1 == name { print $2 }'
}

ROWS=()
run_mode() {  # LABEL SIM_FLAGS...
    local label=$1
    shift
    local dir=$WORK/$label i
    mkdir -p "$dir"
    : >"$dir/bus.conf"
    for ((i = 1; i <= SENSORS; i++)); do
        printf 'device 28:%012X temp=%s\n' $((0xC0FFEE00 + i)) "$(kv_calc "20 + $i * 0.5" 1)" >>"$dir/bus.conf"
    done
    "$KV_SIM" --w1-sysfs "$dir/w1" "$@" --link "$dir/COM1" --config "$dir/bus.conf" >"$dir/sim.out" 2>&1 &
    KV_SIM_PID=$!
    for _ in $(seq 100); do grep -q '^ready' "$dir/sim.out" && break; sleep 0.05; done
    grep -q '^ready' "$dir/sim.out" || { echo "bench/w1: kelvarian-sim did not start: $(cat "$dir/sim.out")" >&2; return 1; }
    local port
    port=$(kv_free_port) || return 1
    kv_settings "$dir" 0 0 1 "$port"

    local t0 first= all= now
    t0=$(kv_now_ns)
    kv_start_program "$dir"
    for _ in $(seq 1200); do
        local n
        n=$(readings "$port")
        now=$(kv_now_ns)
        [ -z "$first" ] && [ "${n:-0}" -ge 1 ] && first=$now
        [ "${n:-0}" -ge "$SENSORS" ] && { all=$now; break; }
        sleep 0.05
    done
    [ -n "$all" ] || { echo "bench/w1 $label: the readings did not come" >&2; return 1; }

    # Pass to pass, from the first pass that began after all were read.
    local p0 p ticks0 ns0 start end
    p0=$(metric "$port" kelvarian_poll_passes_total)
    while [ "$(metric "$port" kelvarian_poll_passes_total)" = "$p0" ]; do sleep 0.02; done
    p0=$(metric "$port" kelvarian_poll_passes_total)
    start=$(kv_now_ns)
    ticks0=$(kv_cpu_ticks "$KV_PROGRAM_PID")
    ns0=$(kv_cpu_ns "$KV_PROGRAM_PID")
    local pass_sum=0
    for ((i = 0; i < PASSES; i++)); do
        p=$(metric "$port" kelvarian_poll_passes_total)
        while [ "$(metric "$port" kelvarian_poll_passes_total)" = "$p" ]; do sleep 0.02; done
        pass_sum=$(kv_calc "$pass_sum + $(metric "$port" kelvarian_poll_pass_seconds)" 3)
    done
    end=$(kv_now_ns)
    local cpu_ms ns cycle_s pass_s
    ns=$(($(kv_cpu_ns "$KV_PROGRAM_PID") - ns0))
    cpu_ms=$(kv_calc "$ns / 1e6 / $PASSES" 1)
    cycle_s=$(kv_calc "($end - $start) / 1e9 / $PASSES" 2)
    pass_s=$(kv_calc "$pass_sum / $PASSES" 3)
    local first_s all_s
    first_s=$(kv_calc "($first - $t0) / 1e9" 2)
    all_s=$(kv_calc "($all - $t0) / 1e9" 2)
    printf '%-28s pass %6s s  pass to pass %6s s  CPU %6s ms a pass  first reading %5s s  all %5s s\n' \
        "$label" "$pass_s" "$cycle_s" "$cpu_ms" "$first_s" "$all_s"
    ROWS+=("| $label | $pass_s s | $cycle_s s | $cpu_ms ms | $first_s s | $all_s s |")
    kv_stop "$KV_PROGRAM_PID"
    KV_PROGRAM_PID=
    kv_stop "$KV_SIM_PID"
    KV_SIM_PID=
}

echo "w1 bench: $SENSORS DS18B20 on a simulated kernel master, interval 1 s, $PASSES passes each; load average $(cut -d' ' -f1-3 /proc/loadavg)"
run_mode "bulk conversion" || exit 1
run_mode "a conversion per read" --w1-no-bulk || exit 1

if [ -n "$TABLE" ]; then
    {
        echo "| Kernel master, 10 thermometers | Pass (reads) | Pass to pass | Program CPU a pass | Start to first reading | Start to all ten |"
        echo "|---|---|---|---|---|---|"
        printf '%s\n' "${ROWS[@]}"
    } >"$TABLE"
fi
