#!/usr/bin/env bash
# Soak run: the program polls a simulated bus that changes every few seconds
# (thermometers added, removed, off the bus and back, corrupt and healed, new
# temperatures, now and then the adapter unplugged, and in every step a short
# or a silence of some tens of milliseconds timed inside the searches, which
# follow a sensor's leaving or the adapter's return) while 50 keep-alive clients read
# the status page. Afterwards: the program is alive and still polling; every
# thermometer on the bus that it lists reads what the bus holds, and after a
# restart every one on the bus; it never lists or saves a code that was not
# on the bus; its resident memory does not grow after the first minute; no
# log line holds a temperature the simulator did not send (the power-on
# 85 °C of a thermometer that joined the bus is none); and kill -9 at
# random moments (also while it saves on SIGTERM) always leaves a settings
# file that loads.
#
#   bench/soak/run.sh [BUILD_DIR] [--minutes M] [--seed N] [--kills K]
#                     [--table FILE.md] [--keep]
#
# Ten minutes and ten kills unless told otherwise. --keep leaves the run's
# folder (settings, log, bus states, samples) for a look; a failed run always
# keeps it. Exits 1 when any check fails.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../cpu/program_env.sh
. "$HERE/../cpu/program_env.sh"

BUILD=build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then BUILD=$1; shift; fi
MINUTES=10
SEED=$((RANDOM * 32768 + RANDOM))
KILLS=10
TABLE=
KEEP=no
while [ $# -gt 0 ]; do
    case $1 in
        --minutes) MINUTES=$2; shift 2 ;;
        --seed) SEED=$2; shift 2 ;;
        --kills) KILLS=$2; shift 2 ;;
        --table) TABLE=$2; shift 2 ;;
        --keep) KEEP=yes; shift ;;
        *) echo "bench/soak: unknown option $1" >&2; exit 2 ;;
    esac
done
kv_init "$BUILD" || exit 1
SOAK=$KV_BUILD/bench/soak/kelvarian-soak
LOAD=$KV_BUILD/bench/page/kelvarian-bench-page
for tool in "$SOAK" "$LOAD"; do
    if [ ! -x "$tool" ]; then
        echo "bench/soak: $tool is missing; build $BUILD first" >&2
        exit 1
    fi
done

WORK=$(mktemp -d /tmp/kelvarian-soak.XXXXXX)
KV_SIM_PID=
KV_PROGRAM_PID=
LOAD_PID=
FAILED=no
cleanup() {
    [ -n "$LOAD_PID" ] && kill "$LOAD_PID" 2>/dev/null && wait "$LOAD_PID" 2>/dev/null
    kv_stop "$KV_PROGRAM_PID"
    kv_stop "$KV_SIM_PID"
    if [ "$FAILED" = no ] && [ "$KEEP" = no ]; then rm -rf "$WORK"; else echo "soak: the run's files are in $WORK"; fi
}
trap cleanup EXIT
fail() { echo "soak: FAILED: $*"; FAILED=yes; }
get() { awk -v k="$1" '$1 == k { print $2 }' "$2"; }

SECONDS_TOTAL=$(kv_calc "$MINUTES * 60" 0)
PORT=$(kv_free_port) || { echo "bench/soak: no free TCP port" >&2; exit 1; }
LOG=$WORK/DS18B20_Kelvarian.log
echo "soak: ${MINUTES} min, seed $SEED, ${KILLS} kills; kelvarian-sim --wire-timing --latency-ms 1; 50 keep-alive clients on port $PORT; load average $(cut -d' ' -f1-3 /proc/loadavg)"

kv_settings "$WORK" 1 0 1 "$PORT"
"$SOAK" init --config "$WORK/bus.conf" --seed "$SEED" --latency-ms 1 || exit 1
kv_start_sim "$WORK" "$WORK/bus.conf" || exit 1
kv_start_program "$WORK"

# Browsers ask every 2 s; these ask every second and open a new connection
# after every 30 answers, so accepting and closing are exercised too. They
# start once the page answers.
kv_wait_page_readings "$PORT" 0 60 || fail "the status page did not answer"
"$LOAD" --port "$PORT" --clients 50 --warmup 3 --seconds "$((SECONDS_TOTAL - 5))" \
    --pause-ms 1000 --reconnect-every 30 --seed "$SEED" >"$WORK/page.out" 2>&1 &
LOAD_PID=$!

"$SOAK" drive --config "$WORK/bus.conf" --seed "$SEED" --latency-ms 1 --sim-pid "$KV_SIM_PID" \
    --program-pid "$KV_PROGRAM_PID" --seconds "$SECONDS_TOTAL" --served "$WORK/served.txt" \
    --memory "$WORK/memory.txt" >"$WORK/drive.out" 2>&1
drive_status=$?
GLITCHES=$(grep -c 'glitch' "$WORK/drive.out")
echo "soak: $(wc -l <"$WORK/drive.out") bus changes ($GLITCHES with a glitch inside the searches): $(sed -E 's/^ *[0-9.]+ s  //; s/[: ].*//' "$WORK/drive.out" | sort | uniq -c | awk '{ printf "%s%s %s", sep, $1, $2; sep = ", " }')"

# Alive, and still reading: the run ended with every thermometer healthy
# after a few seconds without the adapter, so the program has searched the
# bus again and the log must grow within 30 s.
ALIVE=no
if [ "$drive_status" -eq 0 ] && kill -0 "$KV_PROGRAM_PID" 2>/dev/null; then ALIVE=yes; fi
before=$(grep -ac '°C' "$LOG" 2>/dev/null || echo 0)
STILL_POLLING=
for ((waited = 1; waited <= 30; waited++)); do
    sleep 1
    if [ "$(grep -ac '°C' "$LOG" 2>/dev/null || echo 0)" -gt "$before" ]; then
        STILL_POLLING="a new reading within $waited s"
        break
    fi
done
[ "$ALIVE" = yes ] || fail "the program did not live through the run ($(tail -1 "$WORK/drive.out"))"
[ -n "$STILL_POLLING" ] || { STILL_POLLING="no reading for 30 s"; fail "no readings logged in the 30 s after the run"; }
echo "soak: program alive: $ALIVE; still polling: $STILL_POLLING"

# The bus against /status.json, polled until it agrees (LIMIT seconds):
# MODE "all" wants every thermometer on the bus listed, "listed" only those
# the program lists to read. BUS_CHECK says how it went.
bus_check() {  # MODE LIMIT
    local start=$SECONDS
    BUS_CHECK=
    while ((SECONDS - start < $2)); do
        if curl -sf --max-time 2 "http://127.0.0.1:$PORT/status.json" >"$WORK/status.json" &&
            "$SOAK" check-status "$WORK/status.json" "$WORK/bus.conf" "$WORK/served.txt" "$1" >"$WORK/status.out"; then
            BUS_CHECK="$(get status_reading "$WORK/status.out") of $(get status_on_bus "$WORK/status.out") thermometers on the bus read (within $((SECONDS - start)) s), $(get status_listed "$WORK/status.out") listed, 0 codes never on the bus"
            return 0
        fi
        sleep 1
    done
    BUS_CHECK="$(get status_reading "$WORK/status.out") of $(get status_on_bus "$WORK/status.out") read, $(get status_listed "$WORK/status.out") listed, $(get status_strangers "$WORK/status.out") codes never on the bus; $(grep -E '^(stranger|not reading)' "$WORK/status.out" | head -3 | tr '\n' ' ')"
    return 1
}
bus_check listed 60 || fail "after the run: $BUS_CHECK"
BUS_AFTER_RUN=$BUS_CHECK
echo "soak: after the run, without a restart: $BUS_AFTER_RUN"

wait "$LOAD_PID"
LOAD_PID=
echo "soak: page load: $(tr '\n' ' ' <"$WORK/page.out")"

"$SOAK" memory "$WORK/memory.txt" 60 >"$WORK/memory.out"
RSS_STARTED=$(get rss_started_kib "$WORK/memory.out")
RSS_MIN=$(get rss_min_kib "$WORK/memory.out")
RSS_MAX=$(get rss_max_kib "$WORK/memory.out")
RSS_SLOPE=$(get rss_slope_kib_per_min "$WORK/memory.out")
RSS_SAMPLES=$(get rss_samples "$WORK/memory.out")
echo "soak: VmRSS 10 s after start ${RSS_STARTED} KiB; after the first minute ($RSS_SAMPLES samples) min ${RSS_MIN} KiB, max ${RSS_MAX} KiB, slope ${RSS_SLOPE} KiB/min; at each minute: $(get rss_each_minute_kib "$WORK/memory.out") KiB"

# kill -9: once at a random moment of the running program, then on restarts,
# each a random time after start-up and a random 0-5 ms after SIGTERM: the
# program saves its settings within the first few milliseconds of its way
# out. A save writes a temporary file and renames it over the old one, so a
# kill inside a save leaves that temporary file behind: counted, then moved
# aside.
KILLED_ALIVE=0
LOADS=0
IN_SAVE=0
mkdir -p "$WORK/left-behind"
settings_check() {  # LABEL
    local stray
    for stray in "$WORK"/Kelvarian.ini?*; do
        [ -e "$stray" ] || continue
        IN_SAVE=$((IN_SAVE + 1))
        mv "$stray" "$WORK/left-behind/"
    done
    if "$SOAK" check-settings "$WORK/Kelvarian.ini" "$PORT" >"$WORK/settings.out"; then
        LOADS=$((LOADS + 1))
        "$SOAK" check-saved "$WORK/Kelvarian.ini" "$WORK/served.txt" >"$WORK/saved.out" ||
            fail "after kill $1 saved codes that were never on the bus: $(tr '\n' ' ' <"$WORK/saved.out")"
    else
        cp "$WORK/Kelvarian.ini" "$WORK/left-behind/Kelvarian.ini.failed-$1"
        fail "settings file does not load after kill $1: $(tr '\n' ' ' <"$WORK/settings.out")"
    fi
}
# The shell announces every child killed by a signal; these kills are meant.
exec 3>&2 2>/dev/null
sleep "$(kv_calc "$RANDOM / 32768" 3)"
kill -KILL "$KV_PROGRAM_PID" 2>/dev/null && KILLED_ALIVE=$((KILLED_ALIVE + 1))
wait "$KV_PROGRAM_PID" 2>/dev/null
KV_PROGRAM_PID=
settings_check 1
for ((k = 2; k <= KILLS; k++)); do
    kv_start_program "$WORK"
    if ! kv_wait_page_readings "$PORT" 0 60; then
        fail "the program did not serve its page after restart $k"
        break
    fi
    sleep "$(kv_calc "0.5 + 2.5 * $RANDOM / 32768" 3)"
    "$SOAK" term-then-kill "$KV_PROGRAM_PID" $((RANDOM % 5000)) >"$WORK/kill.out"
    [ "$(get killed_running "$WORK/kill.out")" = 1 ] && KILLED_ALIVE=$((KILLED_ALIVE + 1))
    wait "$KV_PROGRAM_PID" 2>/dev/null
    KV_PROGRAM_PID=
    settings_check "$k"
done
exec 2>&3 3>&-
# The last file once more through the program itself: it starts, serves its
# page on the stored port and ends cleanly, saving the sensors it knows.
kv_start_program "$WORK"
kv_wait_page_readings "$PORT" 0 60 || fail "the program did not start on the file the kills left"
bus_check all 60 || fail "after the restart: $BUS_CHECK"
BUS_AFTER_RESTART=$BUS_CHECK
echo "soak: after the restart: $BUS_AFTER_RESTART"
kv_stop "$KV_PROGRAM_PID"
status=$KV_STATUS
KV_PROGRAM_PID=
[ "$status" = 0 ] || fail "the program ended with $status after the kills"
"$SOAK" check-settings "$WORK/Kelvarian.ini" "$PORT" >"$WORK/settings.out" || fail "final settings file does not load"
STORED=$(get settings_sensors "$WORK/settings.out")
"$SOAK" check-saved "$WORK/Kelvarian.ini" "$WORK/served.txt" >"$WORK/saved.out" || fail "saved codes that were never on the bus: $(tr '\n' ' ' <"$WORK/saved.out")"
PHANTOMS=$(get saved_not_on_bus "$WORK/saved.out")
echo "soak: kill -9 ×$KILLS ($KILLED_ALIVE while the process still ran, $IN_SAVE inside a save): the settings file loaded $LOADS of $KILLS times; afterwards a clean start and SIGTERM (exit $status), $STORED sensors stored, $PHANTOMS of them never on the bus"

"$SOAK" check-log "$LOG" "$WORK/served.txt" >"$WORK/log.out"
READINGS=$(get log_readings "$WORK/log.out")
UNSENT=$(get log_unsent_values "$WORK/log.out")
OTHER=$(get log_other_lines "$WORK/log.out")
[ "$UNSENT" = 0 ] && [ "$OTHER" = 0 ] && [ "$READINGS" -gt 0 ] ||
    fail "log check: $(cat "$WORK/log.out")"
echo "soak: log: $READINGS readings of $(cut -d' ' -f1 "$WORK/served.txt" | sort -u | wc -l) thermometers, $UNSENT with a value the simulator did not send, $OTHER other lines"

VERDICT=passed
[ "$FAILED" = yes ] && VERDICT=FAILED
echo "soak: $VERDICT"
if [ -n "$TABLE" ]; then
    {
        echo "| Soak (${MINUTES} min, seed $SEED) | Result |"
        echo "|---|---|"
        echo "| Bus changes (every 5 s) / with a glitch timed inside the searches | $(wc -l <"$WORK/drive.out") / $GLITCHES |"
        echo "| Program alive at the end, still polling | $ALIVE, $STILL_POLLING |"
        echo "| After the run, without a restart | $BUS_AFTER_RUN |"
        echo "| After a restart | $BUS_AFTER_RESTART |"
        echo "| Saved codes never on the bus | $PHANTOMS of $STORED |"
        echo "| Status page, 50 clients asking every 1 s, new connection every 30 answers | $(get rps "$WORK/page.out") req/s, p50 $(get p50_ms "$WORK/page.out") ms, p99 $(get p99_ms "$WORK/page.out") ms, $(get errors "$WORK/page.out") errors, $(get starved_clients "$WORK/page.out") clients never answered |"
        echo "| VmRSS 10 s after start / after the first minute (min – max) | $RSS_STARTED KiB / $RSS_MIN – $RSS_MAX KiB |"
        echo "| VmRSS slope after the first minute | $RSS_SLOPE KiB/min ($RSS_SAMPLES samples) |"
        echo "| Log readings / with a value not sent | $READINGS / $UNSENT |"
        echo "| kill -9 at random moments ($((KILLS - 1)) of them 0–5 ms after SIGTERM; $IN_SAVE inside a save) / settings file loads | $KILLS / $LOADS |"
        echo "| Verdict | $VERDICT |"
    } >"$TABLE"
fi
[ "$FAILED" = no ]
