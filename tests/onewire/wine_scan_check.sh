#!/usr/bin/env bash
# kelvarian-scan.exe under Wine against kelvarian-sim: the Win32 serial port on
# real wire timing, through Wine's mapping of a COM port (the link
# dosdevices/comN) to the simulator's pseudo-terminal. Skipped (77) without a
# simulator from a Linux build.
#
#   wine_scan_check.sh WINE_TEST PREFIX SIMULATOR SCAN_EXE
set -u
wine_test=$1 prefix=$2 simulator=$3 scan=$4
[ -x "$simulator" ] || { echo "no $simulator (make build first): skipped"; exit 77; }

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid"
  rm -rf "$work"
}
trap cleanup EXIT
failed=0

# start_sim PORT SIMULATOR-ARGS...: serves the bus as port PORT (e.g. com12).
start_sim() {
  local port=$1
  shift
  "$simulator" --link "$prefix/dosdevices/$port" "$@" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '^ready' "$work/sim.out" && return
    sleep 0.1
  done
  echo "kelvarian-sim did not start:"
  cat "$work/sim.out"
  exit 1
}

stop_sim() {
  kill "$sim_pid" && wait "$sim_pid"
  sim_pid=
}

# expect NAME PORT STATUS OUTPUT: the scan's exit status and its lines (both
# streams, line ends as on Linux, sorted).
expect() {
  local name=$1 port=$2 status=$3 expected=$4 got output
  "$wine_test" "$prefix" "$scan" "$port" >"$work/scan.out" 2>&1
  got=$?
  output=$(tr -d '\r' <"$work/scan.out" | LC_ALL=C sort)
  if [ "$got" = "$status" ] && [ "$output" = "$expected" ]; then
    echo "ok: $name"
    return
  fi
  printf 'FAILED: %s\n  status %s, output:\n%s\n  expected status %s, output:\n%s\n' \
    "$name" "$got" "$output" "$status" "$expected"
  failed=1
}

# A two-digit port number, real wire timing and a USB adapter's 1 ms latency.
start_sim com12 --wire-timing --latency-ms 1 \
  --device 28-00000B013C5A,raw=401 --device 10:77,raw=-1,power=parasite
expect "two thermometers on COM12" COM12 0 \
"10-000000000077-E6	DS1820 / DS18S20	2 вывода ('паразитное' питание)	-0.5 °C
28-00000B013C5A-14	DS18B20	3 вывода	25.1 °C
adapter: passive"
stop_sim

# The same bus behind a DS2480B line driver, found by the detection at open.
start_sim com12 --adapter ds2480b --wire-timing --latency-ms 1 \
  --device 28-00000B013C5A,raw=401 --device 10:77,raw=-1,power=parasite
expect "two thermometers behind a DS2480B on COM12" COM12 0 \
"10-000000000077-E6	DS1820 / DS18S20	2 вывода ('паразитное' питание)	-0.5 °C
28-00000B013C5A-14	DS18B20	3 вывода	25.1 °C
adapter: DS2480B"
stop_sim

start_sim com12 --fault no-echo --device 28:1
expect "an adapter that echoes nothing" COM12 1 "adapter: passive
Ошибка обмена данными"
stop_sim

expect "a port that does not exist" COM12 1 "Нет открытого COM порта"
exit $failed
