#!/usr/bin/env bash
# Publishing 100 thermometers read every second to a mosquitto of its own on
# a free loopback port (its own config, nothing kept on disk): the program's
# processor time and resident memory while it publishes, its memory while the
# broker is away (it keeps retrying and holds only the latest state of each
# sensor), and the time from a state change on the bus to the start of the
# alert command (Delay = 0, so this is the read that sees it plus the start).
#
#   bench/mqtt/run.sh [BUILD_DIR] [--seconds S] [--away-seconds A] [--changes N]
#                     [--sensors K] [--table FILE.md]
#
# 100 is as many as the monitor's list holds. Ten minutes each unless told
# otherwise (make bench runs it shorter); everything it started is stopped at
# the end, also when it is interrupted.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../cpu/program_env.sh
. "$HERE/../cpu/program_env.sh"

BUILD=build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then BUILD=$1; shift; fi
WINDOW_S=600
AWAY_S=600
CHANGES=6
SENSORS=100
TABLE=
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) WINDOW_S=$2; shift 2 ;;
        --away-seconds) AWAY_S=$2; shift 2 ;;
        --changes) CHANGES=$2; shift 2 ;;
        --sensors) SENSORS=$2; shift 2 ;;
        --table) TABLE=$2; shift 2 ;;
        *) echo "bench/mqtt: unknown option $1" >&2; exit 2 ;;
    esac
done
kv_init "$BUILD" || exit 1
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)
for tool in "$MOSQUITTO" mosquitto_sub; do
    command -v "$tool" >/dev/null || { echo "bench/mqtt: $tool is missing (scripts/install-deps)" >&2; exit 1; }
done

WORK=$(mktemp -d /tmp/kelvarian-bench-mqtt.XXXXXX)
KV_SIM_PID=
KV_PROGRAM_PID=
BROKER_PID=
SUB_PID=
cleanup() {
    kv_stop "$KV_PROGRAM_PID"
    kv_stop "$KV_SIM_PID"
    [ -n "$SUB_PID" ] && kill "$SUB_PID" 2>/dev/null && wait "$SUB_PID" 2>/dev/null
    kv_stop "$BROKER_PID"
    if [ -n "${BENCH_KEEP:-}" ]; then echo "bench/mqtt: the run's files are in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

PORT=$(kv_free_port) || { echo "bench/mqtt: no free TCP port" >&2; exit 1; }
start_broker() {
    printf 'listener %s 127.0.0.1\npersistence false\nallow_anonymous true\nuser %s\n' \
        "$PORT" "$(id -un)" >"$WORK/mosquitto.conf"
    "$MOSQUITTO" -c "$WORK/mosquitto.conf" >"$WORK/broker.out" 2>&1 &
    BROKER_PID=$!
    local _
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "bench/mqtt: mosquitto did not start: $(cat "$WORK/broker.out")" >&2
    return 1
}

# DS18B20 from 15.125 degC up in steps of 0.125 (exact in 1/16 degC), inside
# the range 0..30 of thermo control for up to 119 of them.
bus_lines() {
    local i hot=${1:-0}
    for ((i = 1; i <= SENSORS; i++)); do
        local temp=$(kv_calc "15 + $i * 0.125" 3)
        [ "$i" -eq 1 ] && [ "$hot" -eq 1 ] && temp=40
        printf 'device 28:%012X temp=%s\n' $((0xB0B000 + i * 0x101)) "$temp"
    done
}

# The command appends the moment it started, in ns.
cat >"$WORK/record" <<'SCRIPT'
#!/bin/sh
echo "$(date +%s%N) $KELVARIAN_STATE" >> "$1"
SCRIPT
chmod 755 "$WORK/record"
printf '\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\nThermoControl = 1\r\nThermoMin = 0\r\nThermoMax = 30\r\nLog = 0\r\nCPU_MinUsage = 0\r\nInvert = 0\r\n[Sensors]\r\nCount = 0\r\n[Server]\r\nEnable = 0\r\nPort = 8080\r\nIPv6 = 0\r\n[MQTT]\r\nHost = 127.0.0.1\r\nPort = %s\r\nTopic = bench\r\nDiscovery = 1\r\n[Alerts]\r\nCommand = %s %s\r\nNotify = 0\r\nDelay = 0\r\n' \
    "$PORT" "$WORK/record" "$WORK/record.txt" >"$WORK/Kelvarian.ini"

bus_lines 0 >"$WORK/bus.conf"
start_broker || exit 1
kv_start_sim "$WORK" "$WORK/bus.conf" || exit 1
# Line-buffered, so that the count at each moment is what arrived by then.
stdbuf -oL mosquitto_sub -h 127.0.0.1 -p "$PORT" -t 'bench/+/temperature' >"$WORK/temperatures" 2>/dev/null &
SUB_PID=$!
kv_start_program "$WORK"

# The window starts once all were found and read (their values differ).
for _ in $(seq 600); do
    [ "$(sort -u "$WORK/temperatures" 2>/dev/null | wc -l)" -ge "$SENSORS" ] && break
    sleep 0.1
done
echo "mqtt bench: $SENSORS thermometers, interval 1 s, broker on 127.0.0.1:$PORT; ${WINDOW_S} s publishing, ${AWAY_S} s broker away; load average $(cut -d' ' -f1-3 /proc/loadavg)"

# Publishing: processor time and memory over the window, sampled every 10 s.
ROWS=()
row() { ROWS+=("| $1 | $2 |"); }
rss_line() { # label samples...
    local label=$1
    shift
    local first=$1 last=${!#} max=0 s
    for s in "$@"; do [ "$s" -gt "$max" ] && max=$s; done
    printf '%-26s first %6d KiB, last %6d KiB, max %6d KiB\n' "$label" "$first" "$last" "$max"
    row "$label, every 10 s: first / last / max" "$first / $last / $max KiB ($# samples)"
}
sample_window() { # seconds -> SAMPLES
    local seconds=$1 t
    SAMPLES=()
    for ((t = 0; t < seconds; t += 10)); do
        SAMPLES+=("$(kv_rss_kb "$KV_PROGRAM_PID")")
        sleep 10
    done
    SAMPLES+=("$(kv_rss_kb "$KV_PROGRAM_PID")")
}
received0=$(wc -l <"$WORK/temperatures")
ticks0=$(kv_cpu_ticks "$KV_PROGRAM_PID")
broker0=$(kv_cpu_ticks "$BROKER_PID")
start_ns=$(kv_now_ns)
sample_window "$WINDOW_S"
elapsed_s=$(kv_calc "($(kv_now_ns) - $start_ns) / 1e9" 3)
ticks=$(($(kv_cpu_ticks "$KV_PROGRAM_PID") - ticks0))
broker=$(($(kv_cpu_ticks "$BROKER_PID") - broker0))
received=$(($(wc -l <"$WORK/temperatures") - received0))
cpu_pct=$(kv_calc "100 * $ticks / $KV_CLK_TCK / $elapsed_s" 2)
broker_pct=$(kv_calc "100 * $broker / $KV_CLK_TCK / $elapsed_s" 2)
printf 'publishing                 program CPU %s %% of one core (%s s in %s s), mosquitto %s %%\n' \
    "$cpu_pct" "$(kv_calc "$ticks / $KV_CLK_TCK" 2)" "$elapsed_s" "$broker_pct"
printf 'publishing                 %s temperatures received, %s per second\n' "$received" \
    "$(kv_calc "$received / $elapsed_s" 1)"
row "Publishing ($WINDOW_S s): program CPU, utime+stime" "$cpu_pct % of a core; mosquitto $broker_pct %"
row "Temperatures received by \`mosquitto_sub\`" "$(kv_calc "$received / $elapsed_s" 1)/s"
rss_line "Publishing: VmRSS" "${SAMPLES[@]}"

# A state change to the command's start: one thermometer turns hot and back.
# Each change is made just after a pass was published, so the wait for the
# next read is what a user would meet on average, not the best case.
LATENCIES=()
for ((c = 0; c < CHANGES; c++)); do
    before=$(cat "$WORK/record.txt" 2>/dev/null | wc -l)
    bus_lines $(((c + 1) % 2)) >"$WORK/bus.conf"
    changed_ns=$(kv_now_ns)
    kill -HUP "$KV_SIM_PID"
    for _ in $(seq 200); do
        [ "$(cat "$WORK/record.txt" 2>/dev/null | wc -l)" -gt "$before" ] && break
        sleep 0.05
    done
    started_ns=$(tail -n 1 "$WORK/record.txt" | cut -d' ' -f1)
    LATENCIES+=("$(kv_calc "($started_ns - $changed_ns) / 1e6" 0)")
    sleep 1.3
done
printf 'state change -> command    %s ms (each change, in order)\n' "${LATENCIES[*]}"
sorted=$(printf '%s\n' "${LATENCIES[@]}" | sort -n | tr '\n' ' ')
row "State change on the bus → command started (Delay = 0), $CHANGES changes" "${sorted% } ms (sorted)"

# The broker away: the program retries with a growing pause.
kv_stop "$BROKER_PID"
BROKER_PID=
ticks0=$(kv_cpu_ticks "$KV_PROGRAM_PID")
start_ns=$(kv_now_ns)
sample_window "$AWAY_S"
elapsed_s=$(kv_calc "($(kv_now_ns) - $start_ns) / 1e9" 3)
ticks=$(($(kv_cpu_ticks "$KV_PROGRAM_PID") - ticks0))
away_pct=$(kv_calc "100 * $ticks / $KV_CLK_TCK / $elapsed_s" 2)
printf 'broker away                program CPU %s %% of one core\n' "$away_pct"
row "Broker away ($AWAY_S s): program CPU" "$away_pct % of a core"
rss_line "Broker away: VmRSS" "${SAMPLES[@]}"
alive=no
kill -0 "$KV_PROGRAM_PID" 2>/dev/null && alive=yes
echo "program alive at the end: $alive"
row "Program alive at the end" "$alive"
if [ -n "$TABLE" ]; then
    {
        echo "| $SENSORS DS18B20 every 1 s, MQTT to a local mosquitto | Result |"
        echo "|---|---|"
        printf '%s\n' "${ROWS[@]}"
    } >"$TABLE"
fi
