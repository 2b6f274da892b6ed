#!/usr/bin/env bash
# A pass over 10 thermometers behind a kernel w1 master, from a tree that
# kelvarian-sim --w1-sysfs keeps with the kernel's timing (a read of w1_slave
# converts for 750 ms; a bulk conversion takes 750 ms for all), with and
# without therm_bulk_read, beside a passive serial adapter on kelvarian-sim's
# pseudo-terminal: the pass's wall time, the time from pass to pass, the
# program's processor time, and the time from start to the ten readings, the
# first time (the bus searched) and again with the ten stored.
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

# Seconds from now until /status.json holds SENSORS readings; empty when
# they did not come within a minute.
time_to_readings() {  # PORT START_NS
    local _ n
    for _ in $(seq 1200); do
        n=$(readings "$1")
        if [ "${n:-0}" -ge "$SENSORS" ]; then
            kv_calc "($(kv_now_ns) - $2) / 1e9" 2
            return 0
        fi
        sleep 0.05
    done
    return 1
}

ROWS=()
run_mode() {  # LABEL w1|serial SIM_FLAGS...
    local label=$1 kind=$2
    shift 2
    local dir=$WORK/$label i
    mkdir -p "$dir"
    : >"$dir/bus.conf"
    for ((i = 1; i <= SENSORS; i++)); do
        printf 'device 28:%012X temp=%s\n' $((0xC0FFEE00 + i)) "$(kv_calc "20 + $i * 0.5" 1)" >>"$dir/bus.conf"
    done
    local tree=()
    [ "$kind" = w1 ] && tree=(--w1-sysfs "$dir/w1")
    "$KV_SIM" "${tree[@]}" "$@" --link "$dir/COM1" --config "$dir/bus.conf" >"$dir/sim.out" 2>&1 &
    KV_SIM_PID=$!
    for _ in $(seq 100); do grep -q '^ready' "$dir/sim.out" && break; sleep 0.05; done
    grep -q '^ready' "$dir/sim.out" || { echo "bench/w1: kelvarian-sim did not start: $(cat "$dir/sim.out")" >&2; return 1; }
    local port
    port=$(kv_free_port) || return 1
    kv_settings "$dir" 0 0 1 "$port"

    # The first start finds the sensors and saves them at its end; the
    # second starts with them stored, as every later start does.
    local t0 first stored
    t0=$(kv_now_ns)
    kv_start_program "$dir"
    first=$(time_to_readings "$port" "$t0") || { echo "bench/w1 $label: no readings" >&2; return 1; }
    kv_stop "$KV_PROGRAM_PID"
    t0=$(kv_now_ns)
    kv_start_program "$dir"
    stored=$(time_to_readings "$port" "$t0") || { echo "bench/w1 $label: no readings" >&2; return 1; }

    # Pass to pass, from the first pass that began after all were read.
    local p0 p ns0 start end
    p0=$(metric "$port" kelvarian_poll_passes_total)
    while [ "$(metric "$port" kelvarian_poll_passes_total)" = "$p0" ]; do sleep 0.02; done
    p0=$(metric "$port" kelvarian_poll_passes_total)
    start=$(kv_now_ns)
    ns0=$(kv_cpu_ns "$KV_PROGRAM_PID")
    local pass_sum=0
    for ((i = 0; i < PASSES; i++)); do
        p=$(metric "$port" kelvarian_poll_passes_total)
        while [ "$(metric "$port" kelvarian_poll_passes_total)" = "$p" ]; do sleep 0.02; done
        pass_sum=$(kv_calc "$pass_sum + $(metric "$port" kelvarian_poll_pass_seconds)" 3)
    done
    end=$(kv_now_ns)
    local cpu_ms cpu_pct ns cycle_s pass_s
    ns=$(($(kv_cpu_ns "$KV_PROGRAM_PID") - ns0))
    cpu_ms=$(kv_calc "$ns / 1e6 / $PASSES" 1)
    cpu_pct=$(kv_calc "100 * $ns / ($end - $start)" 2)
    cycle_s=$(kv_calc "($end - $start) / 1e9 / $PASSES" 2)
    pass_s=$(kv_calc "$pass_sum / $PASSES" 3)
    printf '%-34s pass %6s s  pass to pass %5s s  CPU %6s ms a pass (%s %%)  start %5s s, stored %5s s\n' \
        "$label" "$pass_s" "$cycle_s" "$cpu_ms" "$cpu_pct" "$first" "$stored"
    ROWS+=("| $label | $pass_s s | $cycle_s s | $cpu_ms ms ($cpu_pct % of a core) | $first s | $stored s |")
    kv_stop "$KV_PROGRAM_PID"
    KV_PROGRAM_PID=
    kv_stop "$KV_SIM_PID"
    KV_SIM_PID=
}

echo "w1 bench: $SENSORS DS18B20 on a simulated kernel master, interval 1 s, $PASSES passes each; load average $(cut -d' ' -f1-3 /proc/loadavg)"
run_mode "w1 kernel, bulk conversion" w1 || exit 1
run_mode "w1 kernel, a conversion per read" w1 --w1-no-bulk || exit 1
run_mode "passive serial adapter (reference)" serial --wire-timing --latency-ms 1 || exit 1

if [ -n "$TABLE" ]; then
    {
        echo "| 10 thermometers | Pass (the reads) | Pass to pass | Program CPU a pass | Start to the readings | Start, sensors stored |"
        echo "|---|---|---|---|---|---|"
        printf '%s\n' "${ROWS[@]}"
    } >"$TABLE"
fi
