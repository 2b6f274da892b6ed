#!/usr/bin/env bash
# OWFS's DS2480B master (owserver -d, packages owserver and ow-shell) against
# kelvarian-sim --adapter ds2480b: a second peer that drives real DS9097U
# adapters must find and read the simulated thermometers. owserver uses parts
# of the chip DigiTemp does not (flexible speed, the search accelerator in
# command mode between data bytes, parameter reads after each reset). It is
# preloaded with the simulator's flush shim, without which its output flushes
# drop bytes on a pseudo-terminal. Skipped (77) when owserver or owread is
# not installed.
#
#   owserver_ds2480_check.sh SIMULATOR FLUSH_SHIM
set -u
source "$(dirname "$0")/sim_ready.sh"
simulator=$1
shim=$2
owserver=$(command -v owserver) && owread=$(command -v owread) && owdir=$(command -v owdir) || {
  echo "owserver, owdir or owread is missing (scripts/install-deps, owserver and ow-shell): skipped"
  exit 77
}

work=$(mktemp -d)
sim_pid=
ow_pid=
cleanup() {
  [ -n "$ow_pid" ] && kill "$ow_pid" 2>/dev/null && wait "$ow_pid"
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid"
  rm -rf "$work"
}
trap cleanup EXIT

# As for DigiTemp: a code with 0xE3 bytes, a parasite-powered thermometer
# (Convert T under the strong pull-up) and a DS18S20; wire timing on, so that
# the chip's answers come as late as a real one's.
"$simulator" --adapter ds2480b --wire-timing --link "$work/ttyUSB0" \
  --device 28-00000B013C5A,temp=21.5 \
  --device 28-0000E3E3E301,temp=-3,power=parasite \
  --device 10-000801B2C3D4,temp=25 >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for_sim "$work/sim.out" || exit 1

# A free local port: owserver exits at once when it cannot listen.
port=
for try in $(seq 20); do
  candidate=$((20000 + (RANDOM % 20000)))
  LD_PRELOAD=$shim "$owserver" -d "$work/ttyUSB0" -p "127.0.0.1:$candidate" --foreground \
    >"$work/owserver.out" 2>&1 &
  ow_pid=$!
  for _ in $(seq 50); do
    "$owdir" -s "127.0.0.1:$candidate" / >/dev/null 2>&1 && { port=$candidate; break; }
    kill -0 "$ow_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$port" ] && break
  kill "$ow_pid" 2>/dev/null; wait "$ow_pid" 2>/dev/null; ow_pid=
done
[ -n "$port" ] || { echo "owserver did not start:"; cat "$work/owserver.out"; exit 1; }

failed=0
timeout 60 "$owdir" -s "127.0.0.1:$port" /uncached >"$work/dir.out" 2>&1
for id in 28.5A3C010B0000 28.01E3E3E30000 10.D4C3B2010800; do
  grep -q "/uncached/$id" "$work/dir.out" || { echo "owserver did not find $id"; failed=1; }
done
read_as() {  # ID CELSIUS
  local got
  got=$(timeout 60 "$owread" -s "127.0.0.1:$port" "/uncached/$1/temperature" 2>&1)
  awk -v got="$got" -v want="$2" 'BEGIN { exit !(got != "" && got + 0 == want + 0) }' ||
    { echo "owserver read $1 as '$got', not $2"; failed=1; }
}
read_as 28.5A3C010B0000 21.5
read_as 28.01E3E3E30000 -3
read_as 10.D4C3B2010800 25
power=$(timeout 60 "$owread" -s "127.0.0.1:$port" /uncached/28.01E3E3E30000/power 2>&1)
[ "$(echo $power)" = 0 ] || { echo "owserver did not see the parasite power: '$power'"; failed=1; }
if [ "$failed" -ne 0 ]; then
  echo "--- owdir /uncached"; cat "$work/dir.out"
  echo "--- owserver"; tail -20 "$work/owserver.out"
fi
exit "$failed"
